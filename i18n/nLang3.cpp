#include "i18n/nLang3.h"

#include "i18n/FileAccess.h"
#include "i18n/LanguageSelection.h"
#include "i18n/ProjectMessages.h"
#include "platform/Debug.h"
#include "platform/Tick.h"

#include <QAbstractButton>
#include <QAction>
#include <QFont>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMetaProperty>
#include <QStackedWidget>
#include <QStringDecoder>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeView>
#include <QTreeWidget>

#include <memory>

namespace i18n {
namespace {

std::unique_ptr<TLang>& activeTranslation() {
    static std::unique_ptr<TLang> instance;
    return instance;
}

struct TranslationLists {
    QStringList lcids, names, codes;
};
TranslationLists& translationLists() {
    static TranslationLists lists;
    return lists;
}

const QString kCrLf = QStringLiteral("\r\n");

// The lines of a text: a line ends at CR LF, CR or LF, and a
// line break at the very end starts no further line.
QStringList splitTextLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

// Texts for Qt's own widgets break lines with LF alone.
QString qtText(const QString& text) {
    QString t = text;
    t.replace(kCrLf, QStringLiteral("\n"));
    return t;
}

bool hasProperty(const QObject* obj, const char* name) {
    return obj->metaObject()->indexOfProperty(name) >= 0 || obj->property(name).isValid();
}

bool declaredAsStringList(const QObject* obj, const char* name) {
    const int i = obj->metaObject()->indexOfProperty(name);
    return i >= 0 && obj->metaObject()->property(i).metaType() == QMetaType::fromType<QStringList>();
}

// Writes a text property, as lines when the property holds a list of lines.
void writeTextProperty(QObject* obj, const char* name, const QString& text) {
    if (declaredAsStringList(obj, name))
        obj->setProperty(name, splitTextLines(text));
    else
        obj->setProperty(name, text);
}

bool applyCaption(QObject* obj, const QString& text) {
    if (hasProperty(obj, "Caption")) {
        writeTextProperty(obj, "Caption", text);
        return true;
    }
    if (auto* action = qobject_cast<QAction*>(obj)) {
        action->setText(qtText(text));
        return true;
    }
    auto* widget = qobject_cast<QWidget*>(obj);
    if (!widget)
        return false;
    if (widget->isWindow()) {
        widget->setWindowTitle(qtText(text));
        return true;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(qtText(text));
        return true;
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(qtText(text));
        return true;
    }
    if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(qtText(text));
        return true;
    }
    // A page of a tab widget: its caption is the text of its tab.
    if (auto* stack = qobject_cast<QStackedWidget*>(widget->parentWidget())) {
        if (auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget())) {
            const int i = tabs->indexOf(widget);
            if (i >= 0) {
                tabs->setTabText(i, qtText(text));
                return true;
            }
        }
    }
    return false;
}

// The rules of translation for one object, in order; true when one of them applied.
bool applyText(QObject* obj, const QString& text) {
    const QString cls = ComponentClassName(obj);
    if (cls == u"THTMLabel") {
        if (declaredAsStringList(obj, "HTMLText"))
            obj->setProperty("HTMLText", splitTextLines(text));
        else if (auto* label = qobject_cast<QLabel*>(obj))
            label->setText(splitTextLines(text).join(u'\n'));
        else
            obj->setProperty("HTMLText", splitTextLines(text));
        return true;
    }
    if (cls == u"TAdvSmoothLabel") {
        if (auto* label = qobject_cast<QLabel*>(obj))
            label->setText(qtText(text));
        else
            writeTextProperty(obj, "Caption", text);
        return true;
    }
    if (cls == u"QTabBar" || cls == u"TAdvOfficeTabSet") {
        if (auto* tabs = qobject_cast<QTabBar*>(obj); tabs && tabs->count() > 0) {
            const QStringList items = SplitItems(text, tabs->count());
            for (int i = 0; i < tabs->count(); ++i)
                tabs->setTabText(i, items[i]);
            return true;
        }
    }
    if (cls == u"TVirtualDrawTree") {
        if (auto* tree = qobject_cast<QTreeView*>(obj)) {
            QHeaderView* header = tree->header();
            QFont font = header->font();
            font.setFamily(QStringLiteral("Tahoma"));
            header->setFont(font);
            QAbstractItemModel* model = tree->model();
            const int columns = model ? model->columnCount() : 0;
            if (columns > 0) {
                const QStringList items = SplitItems(text, columns);
                for (int i = 0; i < columns; ++i)
                    model->setHeaderData(i, Qt::Horizontal, items[i]);
            }
            return true;
        }
    }
    if (cls == u"QTreeWidget" || cls == u"TListView") {
        if (auto* list = qobject_cast<QTreeWidget*>(obj); list && list->columnCount() > 0) {
            const QStringList items = SplitItems(text, list->columnCount());
            for (int i = 0; i < list->columnCount(); ++i)
                list->headerItem()->setText(i, items[i]);
            return true;
        }
    }
    if (hasProperty(obj, "HTMLText")) {
        writeTextProperty(obj, "HTMLText", text);
        return true;
    }
    return applyCaption(obj, text);
}

void translateOne(const TLang& lang, const QString& section, QObject* obj) {
    if (obj->property("Tag").toInt() == 0)
        return;
    const QString text = lang.Get_StringW(section, obj->objectName());
    if (text.isEmpty())
        return;
    if (applyText(obj, text) && ComponentClassName(obj) == u"TLumoUnicodeSTButton") {
        if (auto* widget = qobject_cast<QWidget*>(obj))
            widget->repaint();
    }
}

// Reads one file of a translation into a list; false (with a debug line) when it exists but
// cannot be read.
bool loadList(const QString& path, TNameValueList& list) {
    if (!FileExists(path))
        return true;
    QByteArray bytes;
    QString error;
    if (!ReadWholeFile(path, &bytes, &error)) {
        platform::OutputDebugStringW(QStringLiteral("Translation file cannot be read: ") + path +
                                     QStringLiteral(" (") + error + QStringLiteral(")"));
        return false;
    }
    list.setLines(DecodeTextLines(bytes));
    return true;
}

// A new translation from both files, or none when either is missing or cannot be read.
std::unique_ptr<TLang> loadNewTranslation(const QString& translationFile, const QString& indexFile) {
    if (!FileExists(translationFile) || !FileExists(indexFile))
        return nullptr;
    auto lang = std::make_unique<TLang>();
    if (!lang->Load_Translation(translationFile, indexFile))
        return nullptr;
    return lang;
}

void fillCatalogueOnce() {
    if (!MessagesLoaded())
        LoadMessageCatalogue();
}

const QHash<QString, platform::LCID>& languageCodes() {
    static const QHash<QString, platform::LCID> table = {
        {"af", 1078},    {"sq", 1052},    {"ar-sa", 1025}, {"ar-iq", 2049}, {"ar-eg", 3073},
        {"ar-ly", 4097}, {"ar-dz", 5121}, {"ar-ma", 6145}, {"ar-tn", 7169}, {"ar-om", 8193},
        {"ar-ye", 9217}, {"ar-sy", 10241}, {"ar-jo", 11265}, {"ar-lb", 12289}, {"ar-kw", 13313},
        {"ar-ae", 14337}, {"ar-bh", 15361}, {"ar-qa", 16385}, {"hy", 1067},  {"eu", 1069},
        {"bg", 1026},    {"be", 1059},    {"ca", 1027},    {"zh-tw", 1028}, {"zh-cn", 2052},
        {"zh-hk", 3076}, {"zh-sg", 4100}, {"hr", 1050},    {"cs", 1029},    {"da", 1030},
        {"nl", 1043},    {"nl-nl", 1043}, {"nl-be", 2067}, {"en", 9},       {"en-us", 1033},
        {"en-gb", 2057}, {"en-au", 3081}, {"en-ca", 4105}, {"en-nz", 5129}, {"en-ie", 6153},
        {"en-za", 7177}, {"en-jm", 8201}, {"en-bz", 10249}, {"en-tt", 11273}, {"et", 1061},
        {"fo", 1080},    {"fa", 1065},    {"fi", 1035},    {"fr", 1036},    {"fr-be", 2060},
        {"fr-ca", 3084}, {"fr-ch", 4108}, {"fr-lu", 5132}, {"mk", 1071},    {"gd", 1084},
        {"gd-ie", 2108}, {"de", 1031},    {"de-ch", 2055}, {"de-at", 3079}, {"de-lu", 4103},
        {"de-li", 5127}, {"el", 1032},    {"he", 1037},    {"hi", 1081},    {"hu", 1038},
        {"is", 1039},    {"in", 1057},    {"it", 1040},    {"it-ch", 2064}, {"ja", 1041},
        {"ko", 1042},    {"lv", 1062},    {"lt", 1063},    {"ms", 1086},    {"mt", 1082},
        {"no", 1044},    {"no-no", 1044}, {"nb-no", 1044}, {"nn-no", 2068}, {"pl", 1045},
        {"pt-br", 1046}, {"pt", 2070},    {"rm", 1047},    {"ro", 1048},    {"ro-mo", 2072},
        {"ru", 1049},    {"ru-mo", 2073}, {"sz", 1083},    {"sr", 3098},    {"sk", 1051},
        {"s", 1060},     {"sb", 1070},    {"es", 1034},    {"es-mx", 2058}, {"es-gt", 4106},
        {"es-cr", 5130}, {"es-pa", 6154}, {"es-do", 7178}, {"es-ve", 8202}, {"es-co", 9226},
        {"es-pe", 10250}, {"es-ar", 11274}, {"es-ec", 12298}, {"es-cl", 13322}, {"es-uy", 14346},
        {"es-py", 15370}, {"es-bo", 16394}, {"es-sv", 17418}, {"es-hn", 18442}, {"es-ni", 19466},
        {"es-pr", 20490}, {"sx", 1072},   {"sv", 1053},    {"sv-fi", 2077}, {"th", 1054},
        {"ts", 1073},    {"tn", 1074},    {"tr", 1055},    {"uk", 1058},    {"ur", 1056},
        {"ve", 1075},    {"vi", 1066},    {"xh", 1076},    {"ji", 1085},    {"zu", 1077},
        {"ge", 1079},    {"ka-ge", 1079}, {"sl", 1060},    {"sl-si", 1060}, {"kk-kz", 1087},
    };
    return table;
}

// A positive decimal number without sign or blanks that fits an identifier; 0 otherwise.
platform::LCID decimalIdentifier(const QString& code) {
    if (code.isEmpty() || code.size() > 10)
        return 0;
    for (const QChar c : code)
        if (c < u'0' || c > u'9')
            return 0;
    bool ok = false;
    const qulonglong v = code.toULongLong(&ok);
    return ok && v <= 0xFFFFFFFFull ? static_cast<platform::LCID>(v) : 0;
}

} // namespace

void TNameValueList::setLines(QStringList lines) {
    lines_ = std::move(lines);
    index_.clear();
    indexed_ = false;
}

QString TNameValueList::value(const QString& name) const {
    if (!indexed_) {
        // Walking backwards lets the first line of a key be the one that stays in the index.
        index_.clear();
        index_.reserve(lines_.size());
        for (int i = count() - 1; i >= 0; --i) {
            const qsizetype eq = lines_[i].indexOf(u'=');
            if (eq >= 0)
                index_.insert(lines_[i].left(eq).toUpper(), i);
        }
        indexed_ = true;
    }
    const auto it = index_.constFind(name.toUpper());
    if (it == index_.cend())
        return {};
    const QString& line = lines_[*it];
    return line.mid(line.indexOf(u'=') + 1);
}

QStringList DecodeTextLines(const QByteArray& bytes) {
    QString text;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        text = QString::fromUtf8(bytes.mid(3));
    else if (bytes.startsWith("\xFF\xFE"))
        text = QStringDecoder(QStringDecoder::Utf16LE)(bytes.mid(2));
    else if (bytes.startsWith("\xFE\xFF"))
        text = QStringDecoder(QStringDecoder::Utf16BE)(bytes.mid(2));
    else
        text = platform::MultiByteToWideChar(platform::GetACP(), bytes);
    return splitTextLines(text);
}

QStringList SplitItems(const QString& text, int itemCount) {
    QStringList items;
    QString rest = text;
    for (int i = 0; i < itemCount; ++i) {
        const qsizetype br = rest.indexOf(kCrLf);
        if (br >= 0) {
            items.append(rest.left(br));
            rest = rest.mid(br + 2);
        } else {
            items.append(rest);
        }
    }
    return items;
}

bool TLang::Load_Translation(const QString& TranslationFile, const QString& IndexFile) {
    const bool translationRead = loadList(TranslationFile, Translation);
    const bool indexRead = loadList(IndexFile, Index);
    platform::OutputDebugStringW(QStringLiteral("TranslationCount=") +
                                 QString::number(Translation.count()));
    return translationRead && indexRead;
}

QString TLang::Get_StringW(const QString& SectionID, const QString& component) const {
    QString text = Translation.value(SectionID + u'.' + component);
    text.replace(QStringLiteral("%CRLF"), kCrLf, Qt::CaseInsensitive);
    return text;
}

void TLang::Set_Components(const QString& SectionID, QObject* Obj) const {
    if (!Obj)
        return;
    translateOne(*this, SectionID, Obj);
    const QObjectList owned = Obj->children();
    for (QObject* child : owned)
        Set_Components(SectionID, child);
}

TLang* ActiveTranslation() { return activeTranslation().get(); }

void LOAD_INTERNAL_ONLY(const QString& folder, const QString& name) {
    const uint32_t start = platform::timeGetTime();
    const QString translationFile = folder + u'\\' + name + QStringLiteral(".nlang3");
    const QString indexFile = folder + QStringLiteral("\\index.txt");
    if (TLang* lang = ActiveTranslation()) {
        lang->Load_Translation(translationFile, indexFile);
    } else {
        activeTranslation() = loadNewTranslation(translationFile, indexFile);
        if (!ActiveTranslation())
            return;
    }
    fillCatalogueOnce();
    platform::OutputDebugStringW(QStringLiteral("LOAD_INTERNAL_ONLY took ") +
                                 QString::number(platform::timeGetTime() - start) +
                                 QStringLiteral(" ms"));
}

void LOAD_TRANSLATION_TO_FORM(const QString& folder, const QString& name, QObject* form) {
    if (!form)
        return;
    const uint32_t start = platform::timeGetTime();
    const QString translationFile = folder + u'\\' + name + QStringLiteral(".nlang3");
    const QString indexFile = folder + QStringLiteral("\\index.txt");
    if (!ActiveTranslation()) {
        activeTranslation() = loadNewTranslation(translationFile, indexFile);
        if (!ActiveTranslation())
            return;
    }
    ActiveTranslation()->Set_Components(form->objectName(), form);
    fillCatalogueOnce();
    platform::OutputDebugStringW(QStringLiteral("LOAD_TRANSLATION_TO_FORM \"") +
                                 ComponentClassName(form) + QStringLiteral("\" took ") +
                                 QString::number(platform::timeGetTime() - start) +
                                 QStringLiteral(" ms"));
}

TranslationFileLanguage LanguageOfTranslationFile(const QString& fileName) {
    TranslationFileLanguage result;
    const QString lower = fileName.toLower();
    result.baseName = lower.left(lower.indexOf(u'.') < 0 ? lower.size() : lower.indexOf(u'.'));
    const qsizetype underscore = result.baseName.indexOf(u'_');
    result.code = underscore < 0 ? result.baseName : result.baseName.mid(underscore + 1);
    if (const platform::LCID number = decimalIdentifier(result.code); number != 0) {
        result.lcid = number;
        result.code = LCIDToLanguageCode(number);
        return result;
    }
    const qsizetype dash = result.code.indexOf(u'-');
    const QString language = dash < 0 ? result.code : result.code.left(dash);
    const QString country = dash < 0 ? QString() : result.code.mid(dash + 1);
    QStringList candidates;
    if (!country.isEmpty())
        candidates << language + u'-' + country;
    candidates << language << language + u'-' + language;
    for (const QString& candidate : candidates) {
        result.lcid = LanguageCodeToLCID(candidate);
        if (result.lcid != 0)
            break;
    }
    return result;
}

void ScanTranslations(const QString& folder) {
    TranslationLists& lists = translationLists();
    lists = {};
    for (const QString& file : ListFiles(folder, QStringLiteral("*.nlang3"))) {
        const TranslationFileLanguage language = LanguageOfTranslationFile(file);
        if (language.lcid == 0)
            continue;
        lists.lcids.append(QString::number(language.lcid));
        lists.names.append(language.baseName);
        lists.codes.append(language.code);
    }
}

const QStringList& TranslationLCIDs() { return translationLists().lcids; }
const QStringList& TranslationNames() { return translationLists().names; }
const QStringList& TranslationCodes() { return translationLists().codes; }

platform::LCID LanguageCodeToLCID(const QString& code) {
    return languageCodes().value(code.toLower(), 0);
}

QString LCIDToLanguageCode(platform::LCID lcid) {
    if (lcid == 1044)
        return QStringLiteral("no-no");
    QString language, country;
    platform::GetLocaleInfoW(lcid, platform::LOCALE_SISO639LANGNAME, &language, 32);
    platform::GetLocaleInfoW(lcid, platform::LOCALE_SISO3166CTRYNAME, &country, 32);
    return (language + u'-' + country).toLower();
}

QString ComponentClassName(const QObject* obj) {
    const QString name = QString::fromLatin1(obj->metaObject()->className());
    const qsizetype colons = name.lastIndexOf(QStringLiteral("::"));
    return colons < 0 ? name : name.mid(colons + 2);
}

void ResetLocalisationState() {
    activeTranslation().reset();
    translationLists() = {};
    ResetMessageCatalogue();
    ResetLanguageChoice();
}

} // namespace i18n
