// Writes the German translation file from the built-in texts, so that a German system gets the
// very texts the program has built in: every translatable control and every catalogue message.
//
//   orbisca_make_german_translation assets/translation/orb2024_de-de.nlang3

#include "i18n/ProjectMessages.h"
#include "i18n/TranslatableComponents.h"

#include <QFile>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FILE\n", argv[0]);
        return 2;
    }
    QString text;
    const auto line = [&text](const QString& l) { text += l + QStringLiteral("\r\n"); };
    line(QStringLiteral("; Zelvano Orbisca 2024 - Deutsch (Deutschland)"));
    line(QStringLiteral("; Die eingebauten Texte der Software, aus ihren Tabellen erzeugt."));
    line(QString());
    QString section;
    for (const i18n::TranslatableComponent& c : i18n::TranslatableComponents()) {
        if (section != QLatin1String(c.section)) {
            if (!section.isEmpty())
                line(QString());
            section = QLatin1String(c.section);
        }
        line(section + u'.' + QLatin1String(c.component) + u'=' + QString::fromUtf8(c.german));
    }
    line(QString());
    for (int i = 0; i < i18n::kMessageCount; ++i) {
        const auto msg = static_cast<i18n::Msg>(i);
        QString value = i18n::MessageDefault(msg);
        value.replace(QStringLiteral("\r\n"), QStringLiteral("%CRLF"));
        line(QStringLiteral("MESSAGES.") + i18n::MessageKey(msg) + u'=' + value);
    }
    QFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    out.write("\xEF\xBB\xBF");
    out.write(text.toUtf8());
    return out.error() == QFile::NoError ? 0 : 1;
}
