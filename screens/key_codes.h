#pragma once
// The virtual-key codes the pop-up windows answer to (the codes of key-down events).
#include <cstdint>

namespace tvp {

inline constexpr int32_t VK_BACK = 0x08;
inline constexpr int32_t VK_TAB = 0x09;
inline constexpr int32_t VK_RETURN = 0x0D;
inline constexpr int32_t VK_ESCAPE = 0x1B;
inline constexpr int32_t VK_SPACE = 0x20;
inline constexpr int32_t VK_PRIOR = 0x21;  // Page Up
inline constexpr int32_t VK_NEXT = 0x22;   // Page Down
inline constexpr int32_t VK_END = 0x23;
inline constexpr int32_t VK_HOME = 0x24;
inline constexpr int32_t VK_LEFT = 0x25;
inline constexpr int32_t VK_UP = 0x26;
inline constexpr int32_t VK_RIGHT = 0x27;
inline constexpr int32_t VK_DOWN = 0x28;
inline constexpr int32_t VK_F1 = 0x70;  // VK_F1 + n - 1 is Fn, up to VK_F12
inline constexpr int32_t VK_F12 = 0x7B;
// Digits and letters are their ASCII capitals: '0'..'9', 'A'..'Z'.

}  // namespace tvp
