#include "platform/x11/input/XiEvents.h"

#include "platform/x11/input/XInputDevices.h"

namespace tessaline::xi {

std::uint8_t opcode(xcb_connection_t* connection) {
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_input_id);
    return extension && extension->present ? extension->major_opcode : 0;
}

std::optional<std::uint16_t> eventType(const xcb_generic_event_t& event, std::uint8_t opcode) {
    if ((event.response_type & 0x7f) != XCB_GE_GENERIC || opcode == 0) return std::nullopt;
    const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
    if (generic.extension != opcode) return std::nullopt;
    return generic.event_type;
}

std::vector<Valuator> rawValuators(const xcb_input_raw_button_press_event_t& event) {
    std::vector<Valuator> out;
    const std::uint32_t* mask = xcb_input_raw_button_press_valuator_mask(&event);
    const xcb_input_fp3232_t* values = xcb_input_raw_button_press_axisvalues(&event);
    int count = xcb_input_raw_button_press_axisvalues_length(&event);
    int next = 0;
    for (std::uint16_t bit = 0; bit < event.valuators_len * 32 && next < count; ++bit) {
        if (!(mask[bit / 32] & (1u << (bit % 32)))) continue;
        out.push_back({bit, fromFP3232(values[next].integral, values[next].frac)});
        ++next;
    }
    return out;
}

void select(xcb_connection_t* connection, xcb_window_t window, std::uint32_t allDevices,
            std::uint32_t masters) {
    struct Mask {
        xcb_input_event_mask_t head;
        std::uint32_t bits;
    };
    const Mask masks[2] = {{{XCB_INPUT_DEVICE_ALL, 1}, allDevices},
                           {{XCB_INPUT_DEVICE_ALL_MASTER, 1}, masters}};
    xcb_input_xi_select_events(connection, window, 2, &masks[0].head);
}

}  // namespace tessaline::xi
