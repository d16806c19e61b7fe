#include "platform/Locale.h"

#include <QFile>
#include <QHash>
#include <QStringDecoder>

#include <cstdlib>
#include <mutex>

namespace platform {
namespace {

struct CountryInfo {
    const char* alpha3;
    const char* name;
};

const QHash<QString, CountryInfo>& countries() {
    static const QHash<QString, CountryInfo> table = {
        {"001", {"", "World"}},
        {"AE", {"ARE", "U.A.E."}},
        {"AF", {"AFG", "Afghanistan"}},
        {"AL", {"ALB", "Albania"}},
        {"AM", {"ARM", "Armenia"}},
        {"AR", {"ARG", "Argentina"}},
        {"AT", {"AUT", "Austria"}},
        {"AU", {"AUS", "Australia"}},
        {"AZ", {"AZE", "Azerbaijan"}},
        {"BA", {"BIH", "Bosnia and Herzegovina"}},
        {"BE", {"BEL", "Belgium"}},
        {"BG", {"BGR", "Bulgaria"}},
        {"BH", {"BHR", "Bahrain"}},
        {"BO", {"BOL", "Bolivia"}},
        {"BR", {"BRA", "Brazil"}},
        {"BY", {"BLR", "Belarus"}},
        {"BZ", {"BLZ", "Belize"}},
        {"CA", {"CAN", "Canada"}},
        {"CH", {"CHE", "Switzerland"}},
        {"CL", {"CHL", "Chile"}},
        {"CN", {"CHN", "People's Republic of China"}},
        {"CO", {"COL", "Colombia"}},
        {"CR", {"CRI", "Costa Rica"}},
        {"CS", {"SCG", "Serbia and Montenegro (Former)"}},
        {"CZ", {"CZE", "Czech Republic"}},
        {"DE", {"DEU", "Germany"}},
        {"DK", {"DNK", "Denmark"}},
        {"DO", {"DOM", "Dominican Republic"}},
        {"DZ", {"DZA", "Algeria"}},
        {"EC", {"ECU", "Ecuador"}},
        {"EE", {"EST", "Estonia"}},
        {"EG", {"EGY", "Egypt"}},
        {"ES", {"ESP", "Spain"}},
        {"ET", {"ETH", "Ethiopia"}},
        {"FI", {"FIN", "Finland"}},
        {"FO", {"FRO", "Faroe Islands"}},
        {"FR", {"FRA", "France"}},
        {"GB", {"GBR", "United Kingdom"}},
        {"GE", {"GEO", "Georgia"}},
        {"GR", {"GRC", "Greece"}},
        {"GT", {"GTM", "Guatemala"}},
        {"HK", {"HKG", "Hong Kong SAR"}},
        {"HN", {"HND", "Honduras"}},
        {"HR", {"HRV", "Croatia"}},
        {"HU", {"HUN", "Hungary"}},
        {"ID", {"IDN", "Indonesia"}},
        {"IE", {"IRL", "Ireland"}},
        {"IL", {"ISR", "Israel"}},
        {"IN", {"IND", "India"}},
        {"IQ", {"IRQ", "Iraq"}},
        {"IR", {"IRN", "Iran"}},
        {"IS", {"ISL", "Iceland"}},
        {"IT", {"ITA", "Italy"}},
        {"JM", {"JAM", "Jamaica"}},
        {"JO", {"JOR", "Jordan"}},
        {"JP", {"JPN", "Japan"}},
        {"KE", {"KEN", "Kenya"}},
        {"KG", {"KGZ", "Kyrgyzstan"}},
        {"KH", {"KHM", "Cambodia"}},
        {"KR", {"KOR", "Korea"}},
        {"KW", {"KWT", "Kuwait"}},
        {"KZ", {"KAZ", "Kazakhstan"}},
        {"LA", {"LAO", "Lao P.D.R."}},
        {"LB", {"LBN", "Lebanon"}},
        {"LI", {"LIE", "Liechtenstein"}},
        {"LT", {"LTU", "Lithuania"}},
        {"LU", {"LUX", "Luxembourg"}},
        {"LV", {"LVA", "Latvia"}},
        {"LY", {"LBY", "Libya"}},
        {"MA", {"MAR", "Morocco"}},
        {"MC", {"MCO", "Monaco"}},
        {"MD", {"MDA", "Moldova"}},
        {"MK", {"MKD", "North Macedonia"}},
        {"MN", {"MNG", "Mongolia"}},
        {"MO", {"MAC", "Macao SAR"}},
        {"MT", {"MLT", "Malta"}},
        {"MX", {"MEX", "Mexico"}},
        {"MY", {"MYS", "Malaysia"}},
        {"NI", {"NIC", "Nicaragua"}},
        {"NL", {"NLD", "Netherlands"}},
        {"NO", {"NOR", "Norway"}},
        {"NZ", {"NZL", "New Zealand"}},
        {"OM", {"OMN", "Oman"}},
        {"PA", {"PAN", "Panama"}},
        {"PE", {"PER", "Peru"}},
        {"PH", {"PHL", "Philippines"}},
        {"PK", {"PAK", "Pakistan"}},
        {"PL", {"POL", "Poland"}},
        {"PR", {"PRI", "Puerto Rico"}},
        {"PT", {"PRT", "Portugal"}},
        {"PY", {"PRY", "Paraguay"}},
        {"QA", {"QAT", "Qatar"}},
        {"RO", {"ROU", "Romania"}},
        {"RS", {"SRB", "Serbia"}},
        {"RU", {"RUS", "Russia"}},
        {"SA", {"SAU", "Saudi Arabia"}},
        {"SE", {"SWE", "Sweden"}},
        {"SG", {"SGP", "Singapore"}},
        {"SI", {"SVN", "Slovenia"}},
        {"SK", {"SVK", "Slovakia"}},
        {"SV", {"SLV", "El Salvador"}},
        {"SY", {"SYR", "Syria"}},
        {"TH", {"THA", "Thailand"}},
        {"TN", {"TUN", "Tunisia"}},
        {"TR", {"TUR", "Turkey"}},
        {"TT", {"TTO", "Trinidad and Tobago"}},
        {"TW", {"TWN", "Taiwan"}},
        {"UA", {"UKR", "Ukraine"}},
        {"US", {"USA", "United States"}},
        {"UY", {"URY", "Uruguay"}},
        {"UZ", {"UZB", "Uzbekistan"}},
        {"VE", {"VEN", "Venezuela"}},
        {"VN", {"VNM", "Vietnam"}},
        {"YE", {"YEM", "Yemen"}},
        {"ZA", {"ZAF", "South Africa"}},
    };
    return table;
}

const QHash<QString, const char*>& languageNames() {
    static const QHash<QString, const char*> table = {
        {"af", "Afrikaans"},   {"am", "Amharic"},      {"ar", "Arabic"},
        {"az", "Azerbaijani"}, {"be", "Belarusian"},   {"bg", "Bulgarian"},
        {"bn", "Bangla"},      {"bs", "Bosnian"},      {"ca", "Catalan"},
        {"cs", "Czech"},       {"cy", "Welsh"},        {"da", "Danish"},
        {"de", "German"},      {"el", "Greek"},        {"en", "English"},
        {"es", "Spanish"},     {"et", "Estonian"},     {"eu", "Basque"},
        {"fa", "Persian"},     {"fi", "Finnish"},      {"fil", "Filipino"},
        {"fo", "Faroese"},     {"fr", "French"},       {"fy", "Frisian"},
        {"ga", "Irish"},       {"gd", "Scottish Gaelic"}, {"gl", "Galician"},
        {"gu", "Gujarati"},    {"he", "Hebrew"},       {"hi", "Hindi"},
        {"hr", "Croatian"},    {"hsb", "Upper Sorbian"}, {"hu", "Hungarian"},
        {"hy", "Armenian"},    {"id", "Indonesian"},   {"is", "Icelandic"},
        {"it", "Italian"},     {"ja", "Japanese"},     {"ka", "Georgian"},
        {"kk", "Kazakh"},      {"km", "Khmer"},        {"kn", "Kannada"},
        {"ko", "Korean"},      {"ky", "Kyrgyz"},       {"lb", "Luxembourgish"},
        {"lo", "Lao"},         {"lt", "Lithuanian"},   {"lv", "Latvian"},
        {"mk", "Macedonian"},  {"ml", "Malayalam"},    {"mn", "Mongolian"},
        {"mr", "Marathi"},     {"ms", "Malay"},        {"mt", "Maltese"},
        {"nb", "Norwegian, Bokm\u00e5l"}, {"nl", "Dutch"}, {"nn", "Norwegian, Nynorsk"},
        {"pa", "Punjabi"},     {"pl", "Polish"},       {"pt", "Portuguese"},
        {"rm", "Romansh"},     {"ro", "Romanian"},     {"ru", "Russian"},
        {"se", "Sami, Northern"}, {"sk", "Slovak"},    {"sl", "Slovenian"},
        {"sq", "Albanian"},    {"sr", "Serbian"},      {"st", "Sesotho"},
        {"sv", "Swedish"},     {"sw", "Kiswahili"},    {"ta", "Tamil"},
        {"te", "Telugu"},      {"th", "Thai"},         {"tn", "Setswana"},
        {"tr", "Turkish"},     {"ts", "Xitsonga"},     {"tt", "Tatar"},
        {"uk", "Ukrainian"},   {"ur", "Urdu"},         {"uz", "Uzbek"},
        {"ve", "Venda"},       {"vi", "Vietnamese"},   {"xh", "isiXhosa"},
        {"yi", "Yiddish"},     {"zh", "Chinese"},      {"zu", "isiZulu"},
    };
    return table;
}

// The identifiers of the table, with their ISO names and the Windows abbreviation of the
// language. Where two identifiers share ISO names, the first is the one a locale name maps to.
struct Row {
    LCID lcid;
    const char* lang;
    const char* ctry;
    const char* abbrev;
};

constexpr Row kRows[] = {
    {1078, "af", "ZA", "AFK"},  {1052, "sq", "AL", "SQI"},  {1025, "ar", "SA", "ARA"},
    {2049, "ar", "IQ", "ARI"},  {3073, "ar", "EG", "ARE"},  {4097, "ar", "LY", "ARL"},
    {5121, "ar", "DZ", "ARG"},  {6145, "ar", "MA", "ARM"},  {7169, "ar", "TN", "ART"},
    {8193, "ar", "OM", "ARO"},  {9217, "ar", "YE", "ARY"},  {10241, "ar", "SY", "ARS"},
    {11265, "ar", "JO", "ARJ"}, {12289, "ar", "LB", "ARB"}, {13313, "ar", "KW", "ARK"},
    {14337, "ar", "AE", "ARU"}, {15361, "ar", "BH", "ARH"}, {16385, "ar", "QA", "ARQ"},
    {1067, "hy", "AM", "HYE"},  {1069, "eu", "ES", "EUQ"},  {1026, "bg", "BG", "BGR"},
    {1059, "be", "BY", "BEL"},  {1027, "ca", "ES", "CAT"},  {1028, "zh", "TW", "CHT"},
    {2052, "zh", "CN", "CHS"},  {3076, "zh", "HK", "ZHH"},  {4100, "zh", "SG", "ZHI"},
    {5124, "zh", "MO", "ZHM"},  {1050, "hr", "HR", "HRV"},  {1029, "cs", "CZ", "CSY"},
    {1030, "da", "DK", "DAN"},  {1043, "nl", "NL", "NLD"},  {2067, "nl", "BE", "NLB"},
    {1033, "en", "US", "ENU"},  {2057, "en", "GB", "ENG"},  {3081, "en", "AU", "ENA"},
    {4105, "en", "CA", "ENC"},  {5129, "en", "NZ", "ENZ"},  {6153, "en", "IE", "ENI"},
    {7177, "en", "ZA", "ENS"},  {8201, "en", "JM", "ENJ"},  {10249, "en", "BZ", "ENL"},
    {11273, "en", "TT", "ENT"}, {13321, "en", "PH", "ENP"}, {16393, "en", "IN", "ENN"},
    {17417, "en", "MY", "ENM"}, {18441, "en", "SG", "ENE"}, {1061, "et", "EE", "ETI"},
    {1080, "fo", "FO", "FOS"},  {1065, "fa", "IR", "FAR"},  {1035, "fi", "FI", "FIN"},
    {1036, "fr", "FR", "FRA"},  {2060, "fr", "BE", "FRB"},  {3084, "fr", "CA", "FRC"},
    {4108, "fr", "CH", "FRS"},  {5132, "fr", "LU", "FRL"},  {6156, "fr", "MC", "FRM"},
    {1071, "mk", "MK", "MKI"},  {1084, "gd", "GB", "GLA"},  {2108, "ga", "IE", "IRE"},
    {1031, "de", "DE", "DEU"},  {2055, "de", "CH", "DES"},  {3079, "de", "AT", "DEA"},
    {4103, "de", "LU", "DEL"},  {5127, "de", "LI", "DEC"},  {1032, "el", "GR", "ELL"},
    {1037, "he", "IL", "HEB"},  {1081, "hi", "IN", "HIN"},  {1038, "hu", "HU", "HUN"},
    {1039, "is", "IS", "ISL"},  {1057, "id", "ID", "IND"},  {1040, "it", "IT", "ITA"},
    {2064, "it", "CH", "ITS"},  {1041, "ja", "JP", "JPN"},  {1042, "ko", "KR", "KOR"},
    {1062, "lv", "LV", "LVI"},  {1063, "lt", "LT", "LTH"},  {1086, "ms", "MY", "MSL"},
    {1082, "mt", "MT", "MLT"},  {1044, "nb", "NO", "NOR"},  {2068, "nn", "NO", "NON"},
    {1045, "pl", "PL", "PLK"},  {1046, "pt", "BR", "PTB"},  {2070, "pt", "PT", "PTG"},
    {1047, "rm", "CH", "RMC"},  {1048, "ro", "RO", "ROM"},  {2072, "ro", "MD", "ROD"},
    {1049, "ru", "RU", "RUS"},  {2073, "ru", "MD", "RUM"},  {1083, "se", "NO", "SME"},
    {10266, "sr", "RS", "SRO"}, {9242, "sr", "RS", "SRM"},  {3098, "sr", "CS", "SRB"},
    {2074, "sr", "CS", "SRL"},  {1051, "sk", "SK", "SKY"},  {1060, "sl", "SI", "SLV"},
    {1070, "hsb", "DE", "HSB"}, {3082, "es", "ES", "ESN"},  {1034, "es", "ES", "ESP"},
    {2058, "es", "MX", "ESM"},  {4106, "es", "GT", "ESG"},  {5130, "es", "CR", "ESC"},
    {6154, "es", "PA", "ESA"},  {7178, "es", "DO", "ESD"},  {8202, "es", "VE", "ESV"},
    {9226, "es", "CO", "ESO"},  {10250, "es", "PE", "ESR"}, {11274, "es", "AR", "ESS"},
    {12298, "es", "EC", "ESF"}, {13322, "es", "CL", "ESL"}, {14346, "es", "UY", "ESY"},
    {15370, "es", "PY", "ESZ"}, {16394, "es", "BO", "ESB"}, {17418, "es", "SV", "ESE"},
    {18442, "es", "HN", "ESH"}, {19466, "es", "NI", "ESI"}, {20490, "es", "PR", "ESU"},
    {21514, "es", "US", "EST"}, {1072, "st", "ZA", "SOT"},  {1053, "sv", "SE", "SVE"},
    {2077, "sv", "FI", "SVF"},  {1054, "th", "TH", "THA"},  {1073, "ts", "ZA", "TSO"},
    {1074, "tn", "ZA", "TSN"},  {1055, "tr", "TR", "TRK"},  {1058, "uk", "UA", "UKR"},
    {1056, "ur", "PK", "URD"},  {1075, "ve", "ZA", "VEN"},  {1066, "vi", "VN", "VIT"},
    {1076, "xh", "ZA", "XHO"},  {1085, "yi", "001", "YID"}, {1077, "zu", "ZA", "ZUL"},
    {1079, "ka", "GE", "KAT"},  {1087, "kk", "KZ", "KKZ"},  {1106, "cy", "GB", "CYM"},
    {1110, "gl", "ES", "GLC"},  {5146, "bs", "BA", "BSB"},  {1068, "az", "AZ", "AZE"},
    {1091, "uz", "UZ", "UZB"},  {1089, "sw", "KE", "SWK"},  {1100, "ml", "IN", "MYM"},
    {1097, "ta", "IN", "TAM"},  {1093, "bn", "IN", "BNG"},  {1098, "te", "IN", "TEL"},
    {1102, "mr", "IN", "MAR"},  {1099, "kn", "IN", "KDI"},  {1095, "gu", "IN", "GUJ"},
    {1094, "pa", "IN", "PAN"},  {1088, "ky", "KG", "KYR"},  {1092, "tt", "RU", "TTT"},
    {1104, "mn", "MN", "MNN"},  {1108, "lo", "LA", "LAO"},  {1107, "km", "KH", "KHM"},
    {1118, "am", "ET", "AMH"},  {1122, "fy", "NL", "FYN"},  {1134, "lb", "LU", "LBX"},
    {1124, "fil", "PH", "FPO"},
};

// Names that are not simply "language (country)".
const char* specialName(LCID lcid) {
    switch (lcid) {
    case 1028: return "Chinese (Traditional, Taiwan)";
    case 2052: return "Chinese (Simplified, People's Republic of China)";
    case 3076: return "Chinese (Traditional, Hong Kong SAR)";
    case 4100: return "Chinese (Simplified, Singapore)";
    case 5124: return "Chinese (Traditional, Macao SAR)";
    case 1034: return "Spanish (Spain, Traditional Sort)";
    case 3098: return "Serbian (Cyrillic, Serbia and Montenegro (Former))";
    case 2074: return "Serbian (Latin, Serbia and Montenegro (Former))";
    case 10266: return "Serbian (Cyrillic, Serbia)";
    case 9242: return "Serbian (Latin, Serbia)";
    default: return nullptr;
    }
}

unsigned codePageFor(LCID lcid, const QString& lang, const QString& ctry) {
    static const QHash<QString, unsigned> byLanguage = {
        {"cs", 1250}, {"pl", 1250}, {"hu", 1250}, {"sk", 1250}, {"sl", 1250}, {"hr", 1250},
        {"ro", 1250}, {"sq", 1250}, {"bs", 1250}, {"ru", 1251}, {"uk", 1251}, {"be", 1251},
        {"bg", 1251}, {"mk", 1251}, {"kk", 1251}, {"ky", 1251}, {"tt", 1251}, {"mn", 1251},
        {"el", 1253}, {"tr", 1254}, {"az", 1254}, {"uz", 1254}, {"he", 1255}, {"yi", 1255},
        {"ar", 1256}, {"fa", 1256}, {"ur", 1256}, {"et", 1257}, {"lv", 1257}, {"lt", 1257},
        {"vi", 1258}, {"th", 874},  {"ja", 932},  {"ko", 949},  {"hi", 0},    {"hy", 0},
        {"ka", 0},    {"ta", 0},    {"ml", 0},    {"bn", 0},    {"te", 0},    {"mr", 0},
        {"kn", 0},    {"gu", 0},    {"pa", 0},    {"lo", 0},    {"km", 0},    {"am", 0},
    };
    if (lang == u"zh")
        return (ctry == u"CN" || ctry == u"SG") ? 936 : 950;
    if (lang == u"sr")
        return (lcid == 2074 || lcid == 9242) ? 1250 : 1251;
    return byLanguage.value(lang, 1252);
}

void numberFormatFor(const QString& lang, const QString& ctry, QString& decimal, QString& thousand) {
    static const QStringList pointComma = {
        "en", "zh", "ja", "ko", "he", "th", "hi", "ms", "ga", "gd", "mt", "cy", "ar", "ur", "sw",
        "ml", "ta", "bn", "te", "mr", "kn", "gu", "pa", "am", "fil", "yi", "ts", "tn", "xh", "zu",
        "st", "ve", "lo", "km", "fa"};
    static const QStringList commaSpace = {
        "fr", "ru", "uk", "be", "bg", "pl", "cs", "sk", "fi", "sv", "nb", "nn", "et", "lv", "lt",
        "hu", "kk", "hy", "ka", "sq", "af", "se", "ky", "tt", "mn", "uz", "no"};
    static const QStringList pointCommaSpanish = {"MX", "PR", "US", "GT", "DO", "HN", "NI", "PA", "SV"};
    if (ctry == u"CH" && (lang == u"de" || lang == u"fr" || lang == u"it" || lang == u"rm")) {
        decimal = ".";
        thousand = "'";
    } else if (pointComma.contains(lang) || (lang == u"es" && pointCommaSpanish.contains(ctry))) {
        decimal = ".";
        thousand = ",";
    } else if (commaSpace.contains(lang) || (lang == u"pt" && ctry == u"PT")) {
        decimal = ",";
        thousand = QString(QChar(0x00A0));
    } else {
        decimal = ",";
        thousand = ".";
    }
}

LocaleRecord recordFromIso(LCID lcid, const QString& lang, const QString& ctry, const QString& abbrev) {
    LocaleRecord r;
    r.lcid = lcid;
    r.iso639 = lang;
    r.iso3166 = ctry;
    r.abbrevLang = abbrev;
    const auto c = countries().constFind(ctry);
    const QString langName = QString::fromUtf8(languageNames().value(lang, ""));
    if (c != countries().cend()) {
        r.abbrevCtry = QString::fromLatin1(c->alpha3);
        if (!langName.isEmpty())
            r.languageName = langName + " (" + QString::fromUtf8(c->name) + ")";
    } else {
        r.languageName = langName;
    }
    if (const char* special = specialName(lcid))
        r.languageName = QString::fromUtf8(special);
    numberFormatFor(lang, ctry, r.decimal, r.thousand);
    r.ansiCodePage = codePageFor(lcid, lang, ctry);
    return r;
}

const std::vector<LocaleRecord>& builtinRecords() {
    static const std::vector<LocaleRecord> records = [] {
        std::vector<LocaleRecord> out;
        for (const Row& row : kRows)
            out.push_back(recordFromIso(row.lcid, row.lang, row.ctry, row.abbrev));
        return out;
    }();
    return records;
}

} // namespace

// The process-wide locale state and its overrides.
struct LocaleState {
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static FakeLocale*& fake() {
        static FakeLocale* f = nullptr;
        return f;
    }

    static const LocaleRecord* findIn(const std::vector<LocaleRecord>& records, LCID lcid) {
        for (const LocaleRecord& r : records)
            if (r.lcid == lcid)
                return &r;
        return nullptr;
    }
};

namespace {

// Splits a Linux locale name ("de_DE.UTF-8@euro") or a BCP 47 tag ("de-DE") into its language
// and country, the language lower-case and the country upper-case.
void splitLocaleName(const QString& name, QString& lang, QString& ctry) {
    QString n = name.trimmed();
    for (const QChar stop : {QChar(u'.'), QChar(u'@')}) {
        const qsizetype cut = n.indexOf(stop);
        if (cut >= 0)
            n.truncate(cut);
    }
    n.replace(u'_', u'-');
    const QStringList parts = n.split(u'-', Qt::SkipEmptyParts);
    lang = parts.value(0).toLower();
    ctry.clear();
    // The country is the first two-letter (or three-digit) part after the language; a script
    // part such as "Latn" is skipped.
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString& p = parts[i];
        if (p.size() == 2 || (p.size() == 3 && p[0].isDigit())) {
            ctry = p.toUpper();
            break;
        }
    }
}

// The locale name the environment gives: LC_ALL, else LANG.
QString environmentUserLocale() {
    for (const char* var : {"LC_ALL", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v)
            return QString::fromLocal8Bit(v);
    }
    return QStringLiteral("C");
}

// The machine's default locale: LANG in /etc/default/locale (Debian) or /etc/locale.conf.
QString environmentSystemLocale() {
    for (const char* path : {"/etc/default/locale", "/etc/locale.conf"}) {
        QFile f(QString::fromLatin1(path));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        while (!f.atEnd()) {
            QString line = QString::fromLocal8Bit(f.readLine()).trimmed();
            if (!line.startsWith(u"LANG="))
                continue;
            line = line.mid(5);
            if (line.size() >= 2 && (line.front() == u'"' || line.front() == u'\''))
                line = line.mid(1, line.size() - 2);
            if (!line.isEmpty())
                return line;
        }
    }
    return QStringLiteral("C");
}

const LocaleRecord* findBuiltin(LCID lcid) {
    return LocaleState::findIn(builtinRecords(), lcid);
}

LCID lcidForIso(const QString& lang, const QString& ctry) {
    for (const LocaleRecord& r : builtinRecords())
        if (r.iso639 == lang && r.iso3166 == ctry)
            return r.lcid;
    return 0;
}

// A Linux locale that the table does not know: a custom locale with the names we can take from
// the locale name itself.
std::optional<LocaleRecord> customRecord(const QString& localeName) {
    QString lang, ctry;
    splitLocaleName(localeName, lang, ctry);
    if (lang.isEmpty() || lang == u"c" || lang == u"posix")
        return std::nullopt;
    LocaleRecord r = recordFromIso(LOCALE_CUSTOM_UNSPECIFIED, lang, ctry, QString());
    return r;
}

QString currentUserLocaleName() {
    std::lock_guard lock(LocaleState::mutex());
    if (FakeLocale* f = LocaleState::fake())
        return f->userName_;
    return environmentUserLocale();
}

} // namespace

LCID LocaleNameToLCID(const QString& name) {
    QString lang, ctry;
    splitLocaleName(name, lang, ctry);
    if (lang.isEmpty() || lang == u"c" || lang == u"posix")
        return LANG_ENGLISH_US;
    if (lang == u"no")
        lang = QStringLiteral("nb");
    // Serbian has a Cyrillic and a Latin locale for each country; Linux names the Latin one
    // "sr_RS@latin", BCP 47 "sr-Latn-RS".
    if (lang == u"sr" && (name.contains(u"@latin", Qt::CaseInsensitive) ||
                          name.contains(u"-Latn", Qt::CaseInsensitive))) {
        if (ctry == u"RS")
            return 9242;
        if (ctry == u"CS")
            return 2074;
    }
    return lcidForIso(lang, ctry);
}

std::optional<LocaleRecord> FindLocale(LCID lcid) {
    {
        std::lock_guard lock(LocaleState::mutex());
        for (FakeLocale* f = LocaleState::fake(); f; f = f->previous_)
            if (const LocaleRecord* r = LocaleState::findIn(f->records_, lcid))
                return *r;
    }
    if (lcid == LOCALE_CUSTOM_UNSPECIFIED) {
        const QString name = currentUserLocaleName();
        if (LocaleNameToLCID(name) == 0)
            return customRecord(name);
        return std::nullopt;
    }
    if (const LocaleRecord* r = findBuiltin(lcid))
        return *r;
    // A neutral identifier names the language alone: it answers the values of the language's
    // default locale but its name is the bare language name.
    if (lcid != 0 && lcid <= 0x3FF) {
        if (const LocaleRecord* r = findBuiltin(0x400 | lcid)) {
            LocaleRecord neutral = *r;
            neutral.lcid = lcid;
            neutral.languageName = QString::fromUtf8(languageNames().value(r->iso639, ""));
            return neutral;
        }
    }
    return std::nullopt;
}

int GetLocaleInfoW(LCID lcid, LCTYPE type, QString* data, int cchData) {
    const std::optional<LocaleRecord> r = FindLocale(lcid);
    if (!r)
        return 0;
    QString value;
    switch (type) {
    case LOCALE_SABBREVLANGNAME: value = r->abbrevLang; break;
    case LOCALE_SABBREVCTRYNAME: value = r->abbrevCtry; break;
    case LOCALE_SDECIMAL: value = r->decimal; break;
    case LOCALE_STHOUSAND: value = r->thousand; break;
    case LOCALE_IDEFAULTANSICODEPAGE: value = QString::number(r->ansiCodePage); break;
    case LOCALE_SISO639LANGNAME: value = r->iso639; break;
    case LOCALE_SISO3166CTRYNAME: value = r->iso3166; break;
    default: return 0;
    }
    if (value.isEmpty() || value.size() + 1 > cchData)
        return 0;
    if (data)
        *data = value;
    return static_cast<int>(value.size() + 1);
}

QString VerLanguageNameW(LCID lang) {
    const std::optional<LocaleRecord> r = FindLocale(lang);
    return r ? r->languageName : QString();
}

LCID GetUserDefaultLCID() {
    QString name;
    {
        std::lock_guard lock(LocaleState::mutex());
        if (FakeLocale* f = LocaleState::fake()) {
            if (f->userLcid_)
                return *f->userLcid_;
            name = f->userName_;
        }
    }
    if (name.isEmpty())
        name = environmentUserLocale();
    const LCID lcid = LocaleNameToLCID(name);
    return lcid != 0 ? lcid : LOCALE_CUSTOM_UNSPECIFIED;
}

LCID GetSystemDefaultLCID() {
    QString name;
    {
        std::lock_guard lock(LocaleState::mutex());
        if (FakeLocale* f = LocaleState::fake()) {
            if (f->systemLcid_)
                return *f->systemLcid_;
            name = f->systemName_;
        }
    }
    if (name.isEmpty())
        name = environmentSystemLocale();
    const LCID lcid = LocaleNameToLCID(name);
    // Windows has no custom system locale; an unknown one counts as English (United States).
    return lcid != 0 ? lcid : LANG_ENGLISH_US;
}

LANGID GetUserDefaultLangID() { return static_cast<LANGID>(GetUserDefaultLCID() & 0xFFFF); }
LANGID GetSystemDefaultLangID() { return static_cast<LANGID>(GetSystemDefaultLCID() & 0xFFFF); }

unsigned GetACP() {
    const std::optional<LocaleRecord> r = FindLocale(GetSystemDefaultLCID());
    // Locales without an 8-bit code page of their own (Unicode-only) fall back to Western.
    return r && r->ansiCodePage != 0 ? r->ansiCodePage : 1252;
}

QString MultiByteToWideChar(unsigned codePage, const QByteArray& bytes) {
    const QByteArray name = codePage == 874   ? QByteArrayLiteral("windows-874")
                            : codePage == 932 ? QByteArrayLiteral("Shift_JIS")
                            : codePage == 936 ? QByteArrayLiteral("GBK")
                            : codePage == 949 ? QByteArrayLiteral("windows-949")
                            : codePage == 950 ? QByteArrayLiteral("Big5")
                                              : "windows-" + QByteArray::number(codePage);
    QStringDecoder decoder(name.constData());
    if (!decoder.isValid())
        decoder = QStringDecoder("windows-1252");
    if (!decoder.isValid())
        return QString::fromLatin1(bytes);
    return decoder.decode(bytes);
}

FakeLocale::FakeLocale(const QString& userLocale, const QString& systemLocale)
    : userName_(userLocale.isEmpty() ? QStringLiteral("C") : userLocale),
      systemName_(systemLocale.isEmpty() ? QStringLiteral("C") : systemLocale) {
    std::lock_guard lock(LocaleState::mutex());
    previous_ = LocaleState::fake();
    LocaleState::fake() = this;
}

FakeLocale::FakeLocale(LCID userLcid, LCID systemLcid)
    : userName_(QStringLiteral("C")), systemName_(QStringLiteral("C")), userLcid_(userLcid),
      systemLcid_(systemLcid) {
    std::lock_guard lock(LocaleState::mutex());
    previous_ = LocaleState::fake();
    LocaleState::fake() = this;
}

FakeLocale::~FakeLocale() {
    std::lock_guard lock(LocaleState::mutex());
    LocaleState::fake() = previous_;
}

} // namespace platform
