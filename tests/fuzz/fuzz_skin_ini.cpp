// libFuzzer target: the skin.ini reader and the colour conversion on arbitrary bytes. Built by
// tools/fuzz.sh.
#include "skin/IniFile.h"
#include "skin/SkinColors.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const skin::TIniFile ini = skin::TIniFile::FromBytes(bytes);
    static const char16_t* const keys[][2] = {
        {u"SkinInfo", u"DisplayName"},       {u"Header", u"Color"},
        {u"Infobar", u"Color"},              {u"Navi_Options", u"Font_Normal"},
        {u"LumoButtons2", u"BorderColor"},   {u"LumoButtons2", u"FaceColor_Normal"},
        {u"a", u"b"},
    };
    for (const auto& k : keys) {
        const auto value = ini.Value(QStringView(k[0]), QStringView(k[1]));
        if (value.has_value() != ini.ValueExists(QStringView(k[0]), QStringView(k[1])))
            abort();
        if (value) {
            if (const auto color = skin::StringToSkinColor(*value)) {
                (void)skin::ToQColor(*color);
                (void)skin::ArgbToQColor(*color);
            }
        }
    }
    // The colour rules straight on the text, line by line.
    const QString text = skin::DecodeIniText(bytes);
    for (QStringView line : QStringView(text).tokenize(u'\n'))
        (void)skin::StringToSkinColor(line);
    return 0;
}
