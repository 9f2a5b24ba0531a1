#include "platform/x11/mac_key_code_table.h"

#include <X11/keysym.h>

#include <array>
#include <optional>

#include "platform/input_monitor.h"

namespace tw {
namespace {

// X key codes are evdev codes + 8.
constexpr std::uint32_t kEvdevOffset = 8;

struct EvdevKey {
    std::uint16_t evdev;
    std::uint16_t mac;
};

// US ANSI positions; keys with no macOS counterpart are left out.
constexpr EvdevKey kEvdevToMac[] = {
    {1, 53},    {2, 18},    {3, 19},    {4, 20},    {5, 21},    {6, 23},    {7, 22},    {8, 26},
    {9, 28},    {10, 25},   {11, 29},   {12, 27},   {13, 24},   {14, 51},   {15, 48},   {16, 12},
    {17, 13},   {18, 14},   {19, 15},   {20, 17},   {21, 16},   {22, 32},   {23, 34},   {24, 31},
    {25, 35},   {26, 33},   {27, 30},   {28, 36},   {29, 59},   {30, 0},    {31, 1},    {32, 2},
    {33, 3},    {34, 5},    {35, 4},    {36, 38},   {37, 40},   {38, 37},   {39, 41},   {40, 39},
    {41, 50},   {42, 56},   {43, 42},   {44, 6},    {45, 7},    {46, 8},    {47, 9},    {48, 11},
    {49, 45},   {50, 46},   {51, 43},   {52, 47},   {53, 44},   {54, 60},   {55, 67},   {56, 58},
    {57, 49},   {58, 57},   {59, 122},  {60, 120},  {61, 99},   {62, 118},  {63, 96},   {64, 97},
    {65, 98},   {66, 100},  {67, 101},  {68, 109},  {69, 71},   {71, 89},   {72, 91},   {73, 92},
    {74, 78},   {75, 86},   {76, 87},   {77, 88},   {78, 69},   {79, 83},   {80, 84},   {81, 85},
    {82, 82},   {83, 65},   {86, 10},   {87, 103},  {88, 111},  {89, 94},   {96, 76},   {97, 62},
    {98, 75},   {99, 105},  {100, 61},  {102, 115}, {103, 126}, {104, 116}, {105, 123}, {106, 124},
    {107, 119}, {108, 125}, {109, 121}, {110, 114}, {111, 117}, {113, 74},  {114, 73},  {115, 72},
    {117, 81},  {121, 95},  {122, 104}, {123, 102}, {124, 93},  {125, 55},  {126, 54},  {127, 110},
    {183, 105}, {184, 107}, {185, 113}, {186, 106}, {187, 64},  {188, 79},  {189, 80},  {190, 90},
};

constexpr std::size_t kEvdevCount = 256;

constexpr std::array<std::uint16_t, kEvdevCount> buildTable() {
    std::array<std::uint16_t, kEvdevCount> table{};
    for (auto& code : table) code = kNoMacKeyCode;
    for (const auto& key : kEvdevToMac) table[key.evdev] = key.mac;
    return table;
}

constexpr auto kTable = buildTable();

std::uint16_t macCodeAt(std::uint32_t xKeycode) {
    if (xKeycode < kEvdevOffset || xKeycode - kEvdevOffset >= kEvdevCount) return kNoMacKeyCode;
    return kTable[xKeycode - kEvdevOffset];
}

std::optional<KeyRole> roleOfKeysym(std::uint32_t keysym) {
    switch (keysym) {
        case XK_Super_L:
        case XK_Super_R:
            return KeyRole::command;
        case XK_Shift_L:
        case XK_Shift_R:
            return KeyRole::shift;
        case XK_Control_L:
        case XK_Control_R:
        case XK_Alt_L:
        case XK_Alt_R:
        case XK_Meta_L:
        case XK_Meta_R:
        case XK_Hyper_L:
        case XK_Hyper_R:
        case XK_ISO_Level3_Shift:
        case XK_ISO_Level5_Shift:
        case XK_Mode_switch:
        case XK_Caps_Lock:
        case XK_Shift_Lock:
        case XK_Num_Lock:
        case XK_Scroll_Lock:
            return KeyRole::otherModifier;
        default:
            return std::nullopt;
    }
}

// The role of a key whose keysym is unknown (evdev gives none), from its position.
KeyRole roleOfPosition(std::uint32_t xKeycode) {
    constexpr std::uint32_t kScrollLock = 70;  // a lock with no macOS counterpart
    if (xKeycode == kEvdevOffset + kScrollLock) return KeyRole::otherModifier;
    switch (macCodeAt(xKeycode)) {
        case kMacKeyCodeCommand:
        case kMacKeyCodeRightCommand:
            return KeyRole::command;
        case 56:  // Shift
        case 60:  // right Shift
            return KeyRole::shift;
        case 57:  // Caps Lock
        case 58:  // Option
        case 59:  // Control
        case 61:  // right Option
        case 62:  // right Control
        case 71:  // Num Lock's place (keypad Clear)
            return KeyRole::otherModifier;
        default:
            return KeyRole::ordinary;
    }
}

}  // namespace

TranslatedKey translateXKey(std::uint32_t xKeycode, std::uint32_t keysym) {
    const std::uint16_t positional = macCodeAt(xKeycode);
    const auto role =
        keysym != 0 ? roleOfKeysym(keysym).value_or(KeyRole::ordinary) : roleOfPosition(xKeycode);
    switch (role) {
        case KeyRole::command:
            if (keysym == XK_Super_R) return {kMacKeyCodeRightCommand, role};
            if (keysym == XK_Super_L) return {kMacKeyCodeCommand, role};
            return {positional, role};
        case KeyRole::ordinary:
            // A key that sits where Command does on the reference layout but is not Super
            // must not pass for a Command key.
            if (positional == kMacKeyCodeCommand || positional == kMacKeyCodeRightCommand) {
                return {kNoMacKeyCode, role};
            }
            return {positional, role};
        default:
            return {positional, role};
    }
}

std::optional<std::uint32_t> xKeycodeOfMacKey(std::uint16_t macKeyCode) {
    for (const auto& key : kEvdevToMac)
        if (key.mac == macKeyCode) return key.evdev + kEvdevOffset;
    return std::nullopt;
}

}  // namespace tw
