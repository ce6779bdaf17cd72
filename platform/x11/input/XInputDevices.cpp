#include "platform/x11/input/XInputDevices.h"

#include <xcb/xinput.h>

#include <cstdlib>

namespace tessaline {

double fromFP3232(std::int32_t integral, std::uint32_t frac) {
    return integral + frac / 4294967296.0;
}

double fromFP1616(std::int32_t value) { return value / 65536.0; }

namespace {

InputDevice describe(xcb_input_xi_device_info_t* info) {
    InputDevice device;
    std::optional<DeviceAxis> x, y;
    auto classes = xcb_input_xi_device_info_classes_iterator(info);
    for (; classes.rem; xcb_input_device_class_next(&classes)) {
        xcb_input_device_class_t* c = classes.data;
        if (c->type == XCB_INPUT_DEVICE_CLASS_TYPE_GESTURE) {
            device.touchpad = true;
        } else if (c->type == XCB_INPUT_DEVICE_CLASS_TYPE_SCROLL) {
            auto* s = reinterpret_cast<xcb_input_scroll_class_t*>(c);
            double increment = fromFP3232(s->increment.integral, s->increment.frac);
            if (increment == 0) continue;  // no notches to count in
            device.scrollAxes.push_back(
                {s->number, s->scroll_type == XCB_INPUT_SCROLL_TYPE_HORIZONTAL, increment});
        } else if (c->type == XCB_INPUT_DEVICE_CLASS_TYPE_VALUATOR) {
            auto* v = reinterpret_cast<xcb_input_valuator_class_t*>(c);
            DeviceAxis axis{fromFP3232(v->min.integral, v->min.frac),
                            fromFP3232(v->max.integral, v->max.frac),
                            static_cast<double>(v->resolution),
                            v->mode == XCB_INPUT_VALUATOR_MODE_ABSOLUTE};
            if (v->number == 0) x = axis;
            if (v->number == 1) y = axis;
        }
    }
    device.pad = touchpadSize(x, y);
    return device;
}

}  // namespace

void XInputDevices::refresh() {
    devices_.clear();
    auto* reply = xcb_input_xi_query_device_reply(
        connection_, xcb_input_xi_query_device(connection_, XCB_INPUT_DEVICE_ALL), nullptr);
    if (!reply) return;
    auto infos = xcb_input_xi_query_device_infos_iterator(reply);
    for (; infos.rem; xcb_input_xi_device_info_next(&infos)) {
        xcb_input_xi_device_info_t* info = infos.data;
        if (info->type != XCB_INPUT_DEVICE_TYPE_SLAVE_POINTER) continue;
        devices_[info->deviceid] = describe(info);
    }
    std::free(reply);
}

const InputDevice* XInputDevices::device(std::uint16_t id) const {
    auto found = devices_.find(id);
    return found == devices_.end() ? nullptr : &found->second;
}

bool XInputDevices::anyTouchpad() const {
    for (const auto& [id, device] : devices_) {
        if (device.touchpad) return true;
    }
    return false;
}

}  // namespace tessaline
