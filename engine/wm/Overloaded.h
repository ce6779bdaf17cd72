#pragma once
// A visitor made of lambdas, one per alternative of a std::variant.

namespace tessaline {

template <class... Fs>
struct Overloaded : Fs... {
    using Fs::operator()...;
};
// Spelled out for compilers without aggregate deduction (clang 14).
template <class... Fs>
Overloaded(Fs...) -> Overloaded<Fs...>;

}  // namespace tessaline
