#pragma once
// Key codes carried by key-down events: the Windows virtual-key codes the player's key commands
// are written in. Letters and main-keyboard digits are their upper-case ASCII codes.
#include <cstdint>

namespace tvp {

inline constexpr uint32_t kVkBack = 0x08;
inline constexpr uint32_t kVkTab = 0x09;
inline constexpr uint32_t kVkReturn = 0x0D;
inline constexpr uint32_t kVkEscape = 0x1B;
inline constexpr uint32_t kVkSpace = 0x20;
inline constexpr uint32_t kVkPrior = 0x21;  // Page Up
inline constexpr uint32_t kVkNext = 0x22;   // Page Down
inline constexpr uint32_t kVkEnd = 0x23;
inline constexpr uint32_t kVkHome = 0x24;
inline constexpr uint32_t kVkLeft = 0x25;
inline constexpr uint32_t kVkUp = 0x26;
inline constexpr uint32_t kVkRight = 0x27;
inline constexpr uint32_t kVkDown = 0x28;
inline constexpr uint32_t kVk0 = 0x30;  // '0'..'9' are 0x30..0x39
inline constexpr uint32_t kVkA = 0x41;  // 'A'..'Z' are 0x41..0x5A
inline constexpr uint32_t kVkF1 = 0x70;  // F1..F12 are 0x70..0x7B
inline constexpr uint32_t kVkF12 = 0x7B;
inline constexpr uint32_t kVkComma = 0xBC;
inline constexpr uint32_t kVkPeriod = 0xBE;
inline constexpr uint32_t kVkLeftBracket = 0xDB;
inline constexpr uint32_t kVkRightBracket = 0xDD;

}  // namespace tvp
