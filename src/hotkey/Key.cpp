#include "hotkey/Key.h"

#include <QHash>

#include <array>
#include <initializer_list>

namespace jotbox {

namespace {

struct KeyInfo {
    const char* name;
    std::uint32_t code;
    const char* description; // UTF-8
    // Symbols read by keyFromString besides the name (UTF-8).
    std::initializer_list<const char*> symbols;
};

// In case order. The digit, function-key and symbol rows accept their own
// description; right-hand modifiers and keypad keys only their name.
const std::array<KeyInfo, kKeyCount> kKeys = {{
    {"a", 0, "A", {}},
    {"b", 11, "B", {}},
    {"c", 8, "C", {}},
    {"d", 2, "D", {}},
    {"e", 14, "E", {}},
    {"f", 3, "F", {}},
    {"g", 5, "G", {}},
    {"h", 4, "H", {}},
    {"i", 34, "I", {}},
    {"j", 38, "J", {}},
    {"k", 40, "K", {}},
    {"l", 37, "L", {}},
    {"m", 46, "M", {}},
    {"n", 45, "N", {}},
    {"o", 31, "O", {}},
    {"p", 35, "P", {}},
    {"q", 12, "Q", {}},
    {"r", 15, "R", {}},
    {"s", 1, "S", {}},
    {"t", 17, "T", {}},
    {"u", 32, "U", {}},
    {"v", 9, "V", {}},
    {"w", 13, "W", {}},
    {"x", 7, "X", {}},
    {"y", 16, "Y", {}},
    {"z", 6, "Z", {}},
    {"zero", 29, "0", {"0"}},
    {"one", 18, "1", {"1"}},
    {"two", 19, "2", {"2"}},
    {"three", 20, "3", {"3"}},
    {"four", 21, "4", {"4"}},
    {"five", 23, "5", {"5"}},
    {"six", 22, "6", {"6"}},
    {"seven", 26, "7", {"7"}},
    {"eight", 28, "8", {"8"}},
    {"nine", 25, "9", {"9"}},
    {"period", 47, ".", {"."}},
    {"quote", 39, "\"", {"\""}},
    {"rightBracket", 30, "]", {"]"}},
    {"semicolon", 41, ";", {";"}},
    {"slash", 44, "/", {"/"}},
    {"backslash", 42, "\\", {"\\"}},
    {"comma", 43, ",", {","}},
    {"equal", 24, "=", {"="}},
    {"grave", 50, "`", {"`", "\u02CB", "\uFF40"}},
    {"leftBracket", 33, "[", {"["}},
    {"minus", 27, "-", {"-"}},
    {"section", 10, "\u00A7", {"\u00A7"}},
    {"space", 49, "\u2423", {" ", "\u2423"}},
    {"tab", 48, "\u21E5", {"\t", "\u21E5"}},
    {"return", 36, "\u21A9\uFE0E", {"\r", "\u21A9\uFE0E", "\u23CE", "\u2B90"}},
    {"command", 55, "\u2318", {"\u2318", "\uF8FF"}},
    {"rightCommand", 54, "\u2318", {}},
    {"option", 58, "\u2325", {"\u2325"}},
    {"rightOption", 61, "\u2325", {}},
    {"control", 59, "\u2303", {"\u2303"}},
    {"rightControl", 62, "\u2303", {}},
    {"shift", 56, "\u21E7", {"\u21E7"}},
    {"rightShift", 60, "\u21E7", {}},
    {"function", 63, "fn", {"fn"}},
    {"capsLock", 57, "\u21EA", {"\u21EA"}},
    {"pageUp", 116, "\u21DE", {"\u21DE"}},
    {"pageDown", 121, "\u21DF", {"\u21DF"}},
    {"home", 115, "\u2196", {"\u2196"}},
    {"end", 119, "\u2198", {"\u2198"}},
    {"upArrow", 126, "\u2191", {"\u2191"}},
    {"rightArrow", 124, "\u2192", {"\u2192"}},
    {"downArrow", 125, "\u2193", {"\u2193"}},
    {"leftArrow", 123, "\u2190", {"\u2190"}},
    {"f1", 122, "\uF860F1", {"\uF860F1"}},
    {"f2", 120, "\uF860F2", {"\uF860F2"}},
    {"f3", 99, "\uF860F3", {"\uF860F3"}},
    {"f4", 118, "\uF860F4", {"\uF860F4"}},
    {"f5", 96, "\uF860F5", {"\uF860F5"}},
    {"f6", 97, "\uF860F6", {"\uF860F6"}},
    {"f7", 98, "\uF860F7", {"\uF860F7"}},
    {"f8", 100, "\uF860F8", {"\uF860F8"}},
    {"f9", 101, "\uF860F9", {"\uF860F9"}},
    {"f10", 109, "\uF861F10", {"\uF861F10"}},
    {"f11", 103, "\uF861F11", {"\uF861F11"}},
    {"f12", 111, "\uF861F12", {"\uF861F12"}},
    {"f13", 105, "\uF861F13", {"\uF861F13"}},
    {"f14", 107, "\uF861F14", {"\uF861F14"}},
    {"f15", 113, "\uF861F15", {"\uF861F15"}},
    {"f16", 106, "\uF861F16", {"\uF861F16"}},
    {"f17", 64, "\uF861F17", {"\uF861F17"}},
    {"f18", 79, "\uF861F18", {"\uF861F18"}},
    {"f19", 80, "\uF861F19", {"\uF861F19"}},
    {"f20", 90, "\uF861F20", {"\uF861F20"}},
    {"keypad0", 82, "0", {}},
    {"keypad1", 83, "1", {}},
    {"keypad2", 84, "2", {}},
    {"keypad3", 85, "3", {}},
    {"keypad4", 86, "4", {}},
    {"keypad5", 87, "5", {}},
    {"keypad6", 88, "6", {}},
    {"keypad7", 89, "7", {}},
    {"keypad8", 91, "8", {}},
    {"keypad9", 92, "9", {}},
    {"keypadClear", 71, "\u2327", {"\u2327"}},
    {"keypadDecimal", 65, ".", {}},
    {"keypadDivide", 75, "/", {}},
    {"keypadEnter", 76, "\u21A9\uFE0E", {}},
    {"keypadEquals", 81, "=", {}},
    {"keypadMinus", 78, "-", {}},
    {"keypadMultiply", 67, "\U0001D5D1", {}},
    {"keypadPlus", 69, "+", {}},
    {"escape", 53, "\u238B", {"\u238B"}},
    {"delete", 51, "\u232B", {"\u232B"}},
    {"forwardDelete", 117, "\u2326", {"\u2326"}},
    {"help", 114, "?\u20DD", {"?\u20DD"}},
    {"volumeUp", 72, "\U0001F50A", {"\U0001F50A"}},
    {"volumeDown", 73, "\U0001F509", {"\U0001F509"}},
    {"mute", 74, "\U0001F507", {"\U0001F507"}},
}};

// Lower-cased and decomposed, so a lookup is canonical equivalence.
QString formKey(QStringView text) {
    return text.toString().toLower().normalized(QString::NormalizationForm_D);
}

struct Tables {
    std::array<std::int8_t, 128> byCode{};
    QHash<QString, Key> byForm;

    Tables() {
        byCode.fill(-1);
        for (int i = 0; i < kKeyCount; ++i) {
            const KeyInfo& info = kKeys[i];
            byCode[info.code] = static_cast<std::int8_t>(i);
            byForm.insert(formKey(QString::fromUtf8(info.name)), static_cast<Key>(i));
            for (const char* symbol : info.symbols)
                byForm.insert(formKey(QString::fromUtf8(symbol)), static_cast<Key>(i));
        }
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

} // namespace

std::uint32_t carbonKeyCode(Key key) {
    return kKeys[caseIndex(key)].code;
}

std::optional<Key> keyFromCarbonKeyCode(std::uint32_t code) {
    if (code >= tables().byCode.size() || tables().byCode[code] < 0)
        return std::nullopt;
    return static_cast<Key>(tables().byCode[code]);
}

std::optional<Key> keyFromString(QStringView text) {
    const auto& forms = tables().byForm;
    const auto it = forms.constFind(formKey(text));
    if (it == forms.constEnd())
        return std::nullopt;
    return *it;
}

QString description(Key key) {
    return QString::fromUtf8(kKeys[caseIndex(key)].description);
}

QString name(Key key) {
    return QString::fromUtf8(kKeys[caseIndex(key)].name);
}

} // namespace jotbox
