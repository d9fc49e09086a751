#include "hotkey/KeyCombo.h"

#include <limits>

namespace jotbox {

namespace {

constexpr auto kKeyCode = "keyCode";
constexpr auto kModifiers = "modifiers";

std::optional<std::uint32_t> uint32Entry(const QVariantMap& dictionary, const char* key) {
    const auto it = dictionary.constFind(QLatin1String(key));
    if (it == dictionary.constEnd())
        return std::nullopt;
    switch (it->typeId()) {
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short: {
        const qint64 v = it->toLongLong();
        if (v < 0 || v > std::numeric_limits<std::uint32_t>::max())
            return std::nullopt;
        return static_cast<std::uint32_t>(v);
    }
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort: {
        const quint64 v = it->toULongLong();
        if (v > std::numeric_limits<std::uint32_t>::max())
            return std::nullopt;
        return static_cast<std::uint32_t>(v);
    }
    default:
        return std::nullopt;
    }
}

// A number object: any numeric or boolean value, never text.
bool isNumber(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

void appendKeyCombos(const Menu& menu, QList<KeyCombo>& out) {
    for (const MenuItem& item : menu.itemArray) {
        if (const auto key = keyFromString(item.keyEquivalent))
            out.append(KeyCombo(carbonKeyCode(*key), item.keyEquivalentModifierMask.carbonFlags()));
        if (item.submenu)
            appendKeyCombos(*item.submenu, out);
    }
}

} // namespace

QString KeyCombo::description() const {
    QString text = modifiers().description();
    if (const auto k = key())
        text += jotbox::description(*k);
    return text;
}

QVariantMap KeyCombo::dictionary() const {
    return {{QLatin1String(kKeyCode), qint64(carbonKeyCode)},
            {QLatin1String(kModifiers), qint64(carbonModifiers)}};
}

std::optional<KeyCombo> KeyCombo::fromDictionary(const QVariantMap& dictionary) {
    if (dictionary.isEmpty())
        return std::nullopt;
    const auto code = uint32Entry(dictionary, kKeyCode);
    if (!code)
        return std::nullopt;
    const auto modifiers = uint32Entry(dictionary, kModifiers);
    if (!modifiers)
        return std::nullopt;
    return KeyCombo(*code, *modifiers);
}

QList<KeyCombo> KeyCombo::systemKeyCombos() {
    LinuxSymbolicHotKeySource source;
    return systemKeyCombos(source);
}

QList<KeyCombo> KeyCombo::systemKeyCombos(SymbolicHotKeySource& source) {
    OSStatus status = noErr;
    const auto records = source.copySymbolicHotKeys(&status);
    if (status != noErr || !records)
        return {};
    QList<KeyCombo> combos;
    for (const QVariantMap& record : *records) {
        const QVariant enabled = record.value(QStringLiteral("kHISymbolicHotKeyEnabled"));
        if (!isNumber(enabled) || !enabled.toBool())
            continue;
        const QVariant code = record.value(QStringLiteral("kHISymbolicHotKeyCode"));
        const QVariant modifiers = record.value(QStringLiteral("kHISymbolicHotKeyModifiers"));
        if (!isNumber(code) || !isNumber(modifiers))
            continue;
        // Read as the unsigned 32-bit value, like a number object's own conversion.
        combos.append(KeyCombo(static_cast<std::uint32_t>(code.toLongLong()),
                               static_cast<std::uint32_t>(modifiers.toLongLong())));
    }
    return combos;
}

QList<KeyCombo> KeyCombo::mainMenuKeyCombos() {
    const auto menu = MainMenu::get();
    return menu ? keyCombos(*menu) : QList<KeyCombo>{};
}

QList<KeyCombo> KeyCombo::keyCombos(const Menu& menu) {
    QList<KeyCombo> combos;
    appendKeyCombos(menu, combos);
    return combos;
}

QList<KeyCombo> KeyCombo::standardKeyCombos() {
    constexpr std::uint32_t cmd = 256, shiftCmd = 768, optCmd = 2304, optShiftCmd = 2816,
                            ctrlCmd = 4352;
    return {
        {43, cmd},      {4, cmd},       {4, optCmd},      {12, cmd},      {45, cmd},
        {31, cmd},      {13, cmd},      {1, cmd},         {1, shiftCmd},  {15, cmd},
        {35, shiftCmd}, {35, cmd},      {6, cmd},         {6, shiftCmd},  {7, cmd},
        {8, cmd},       {9, cmd},       {9, optShiftCmd}, {0, cmd},       {3, cmd},
        {3, optCmd},    {5, cmd},       {5, shiftCmd},    {14, cmd},      {38, cmd},
        {41, shiftCmd}, {41, cmd},      {17, cmd},        {11, cmd},      {34, cmd},
        {32, cmd},      {24, shiftCmd}, {27, cmd},        {8, shiftCmd},  {8, optCmd},
        {9, optCmd},    {33, shiftCmd}, {42, shiftCmd},   {30, shiftCmd}, {8, ctrlCmd},
        {9, ctrlCmd},   {17, optCmd},   {1, ctrlCmd},     {3, ctrlCmd},   {46, cmd},
        {44, shiftCmd},
    };
}

} // namespace jotbox
