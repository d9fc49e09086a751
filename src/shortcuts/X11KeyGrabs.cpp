#include "shortcuts/X11KeyGrabs.h"

#include <algorithm>
#include <array>
#include <utility>

namespace jotbox {

namespace {

// Linux input event codes (the X keycode minus 8) by Carbon key code; 0 = none.
constexpr std::array<std::uint16_t, 127> kEvdevByCarbon = [] {
    std::array<std::uint16_t, 127> t{};
    const std::uint16_t pairs[][2] = {
        {0, 30},    {1, 31},    {2, 32},    {3, 33},    {4, 35},    {5, 34},    {6, 44},
        {7, 45},    {8, 46},    {9, 47},    {10, 86},   {11, 48},   {12, 16},   {13, 17},
        {14, 18},   {15, 19},   {16, 21},   {17, 20},   {18, 2},    {19, 3},    {20, 4},
        {21, 5},    {22, 7},    {23, 6},    {24, 13},   {25, 10},   {26, 8},    {27, 12},
        {28, 9},    {29, 11},   {30, 27},   {31, 24},   {32, 22},   {33, 26},   {34, 23},
        {35, 25},   {36, 28},   {37, 38},   {38, 36},   {39, 40},   {40, 37},   {41, 39},
        {42, 43},   {43, 51},   {44, 53},   {45, 49},   {46, 50},   {47, 52},   {48, 15},
        {49, 57},   {50, 41},   {51, 14},   {53, 1},    {54, 126},  {55, 125},  {56, 42},
        {57, 58},   {58, 56},   {59, 29},   {60, 54},   {61, 100},  {62, 97},   {64, 187},
        {65, 83},   {67, 55},   {69, 78},   {71, 69},   {72, 115},  {73, 114},  {74, 113},
        {75, 98},   {76, 96},   {78, 74},   {79, 188},  {80, 189},  {81, 117},  {82, 82},
        {83, 79},   {84, 80},   {85, 81},   {86, 75},   {87, 76},   {88, 77},   {89, 71},
        {90, 190},  {91, 72},   {92, 73},   {96, 63},   {97, 64},   {98, 65},   {99, 61},
        {100, 66},  {101, 67},  {103, 87},  {105, 183}, {106, 186}, {107, 184}, {109, 68},
        {111, 88},  {113, 185}, {114, 110}, {115, 102}, {116, 104}, {117, 111}, {118, 62},
        {119, 107}, {120, 60},  {121, 109}, {122, 59},  {123, 105}, {124, 106}, {125, 108},
        {126, 103},
    };
    for (const auto& p : pairs)
        t[p[0]] = p[1];
    return t;
}();

} // namespace

std::optional<std::uint8_t> x11KeycodeForCarbon(std::uint32_t carbonKeyCode) {
    if (carbonKeyCode >= kEvdevByCarbon.size() || kEvdevByCarbon[carbonKeyCode] == 0)
        return std::nullopt;
    const unsigned keycode = kEvdevByCarbon[carbonKeyCode] + 8u;
    if (keycode > 255)
        return std::nullopt;
    return static_cast<std::uint8_t>(keycode);
}

std::optional<std::uint32_t> latinKeysymForCarbon(std::uint32_t carbonKeyCode) {
    // By Carbon key code, what the US layout types there.
    static constexpr char kTyped[] = "asdfhgzxcv\0bqweryt123465=97-80]ou[ip\0lj'k;\\,/nm.";
    if (carbonKeyCode >= sizeof kTyped - 1)
        return std::nullopt;
    const char c = kTyped[carbonKeyCode];
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
        return std::nullopt;
    return std::uint32_t(c); // Latin-1 keysyms are their code points
}

std::optional<std::uint8_t> keycodeForKeysym(const KeyboardMap& map, std::uint32_t keysym) {
    if (map.perKeycode <= 0)
        return std::nullopt;
    const std::uint32_t upper = keysym >= 'a' && keysym <= 'z' ? keysym - 32 : keysym;
    const std::size_t keys = map.keysyms.size() / std::size_t(map.perKeycode);
    const auto find = [&](int column) -> std::optional<std::uint8_t> {
        for (std::size_t k = 0; k < keys && column < map.perKeycode; ++k) {
            const std::uint32_t sym = map.keysyms[k * std::size_t(map.perKeycode) + column];
            if ((sym == keysym || sym == upper) && map.minKeycode + k <= 255)
                return std::uint8_t(map.minKeycode + k);
        }
        return std::nullopt;
    };
    // Group 1's two levels, then group 2's, then whatever else the map holds.
    for (int column = 0; column < map.perKeycode; ++column)
        if (const auto keycode = find(column))
            return keycode;
    return std::nullopt;
}

std::uint16_t x11ModifiersForCarbon(std::uint32_t carbon) {
    std::uint16_t mods = 0;
    if (carbon & 256)
        mods |= x11::ControlMask;
    if (carbon & 512)
        mods |= x11::ShiftMask;
    if (carbon & 2048)
        mods |= x11::Mod1Mask;
    if (carbon & 4096)
        mods |= x11::Mod4Mask;
    return mods;
}

std::vector<std::uint16_t> lockCombinations(std::uint16_t numLock, std::uint16_t capsLock,
                                            std::uint16_t scrollLock) {
    std::vector<std::uint16_t> out;
    const std::uint16_t locks[] = {numLock, capsLock, scrollLock};
    for (int subset = 0; subset < 8; ++subset) {
        std::uint16_t mask = 0;
        for (int i = 0; i < 3; ++i)
            if (subset & (1 << i))
                mask |= locks[i];
        if (std::find(out.begin(), out.end(), mask) == out.end())
            out.push_back(mask);
    }
    return out;
}

std::optional<KeyGrabTable::Grab> KeyGrabTable::remove(EventHotKeyRef ref) {
    const auto it =
        std::find_if(m_grabs.begin(), m_grabs.end(), [&](const Grab& g) { return g.ref == ref; });
    if (it == m_grabs.end())
        return std::nullopt;
    const Grab grab = *it;
    m_grabs.erase(it);
    return grab;
}

bool KeyGrabTable::holds(std::uint8_t keycode, std::uint16_t modifiers) const {
    return std::any_of(m_grabs.begin(), m_grabs.end(), [&](const Grab& g) {
        return g.keycode == keycode && g.modifiers == modifiers;
    });
}

std::optional<EventHotKeyID> KeyGrabTable::press(std::uint8_t keycode, std::uint16_t state) {
    const std::uint16_t mods = state & ~m_lockMask & kRelevant;
    for (Grab& g : m_grabs) {
        if (g.keycode != keycode || g.modifiers != mods)
            continue;
        if (g.down)
            return std::nullopt;
        g.down = true;
        return g.identity;
    }
    return std::nullopt;
}

void KeyGrabTable::setKeycode(EventHotKeyRef ref, std::uint8_t keycode) {
    for (Grab& g : m_grabs)
        if (g.ref == ref)
            g.keycode = keycode, g.down = false;
}

std::vector<EventHotKeyID> KeyGrabTable::releaseAll() {
    std::vector<EventHotKeyID> released;
    for (Grab& g : m_grabs)
        if (std::exchange(g.down, false))
            released.push_back(g.identity);
    return released;
}

std::optional<EventHotKeyID> KeyGrabTable::release(std::uint8_t keycode) {
    for (Grab& g : m_grabs) {
        if (g.keycode == keycode && g.down) {
            g.down = false;
            return g.identity;
        }
    }
    return std::nullopt;
}

} // namespace jotbox
