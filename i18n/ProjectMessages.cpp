#include "i18n/ProjectMessages.h"

#include "i18n/nLang3.h"
#include "platform/MessageBox.h"

#include <array>

namespace i18n {
namespace {

constexpr const char* kKeys[] = {
#define ORBISCA_MESSAGE_KEY(key) #key,
    ORBISCA_MESSAGES(ORBISCA_MESSAGE_KEY)
#undef ORBISCA_MESSAGE_KEY
};
static_assert(std::size(kKeys) == kMessageCount);

// German built-in texts, in the order of the keys.
constexpr const char* kDefaults[] = {
    "Bitte wählen Sie aus, welches Laufwerk analysiert werden soll:",
    "In dieses Laufwerk scheint kein Medium eingelegt zu sein! Bitte wählen Sie ein anderes "
    "Laufwerk aus.",
    "Kein Balken",
    "Größe im Vergleich zum Laufwerk",
    "Größe im Vergleich zum Ordner",
    "Alle Dateien",
    "Audio-Dateien",
    "Video-Dateien",
    "Bild-Dateien",
    "Archive",
    "Dokumente",
    "Anwendungen",
    "Bitte wählen Sie ein Laufwerk aus und klicken Sie auf die Schaltfläche \"Untersuchen\".",
    "<b>Bitte warten...</b><br>Dateien und Ordner auf dem Laufwerk werden ermittelt und nach "
    "Größe sortiert. Dies kann einige Zeit in Anspruch nehmen.",
    "Der aktuelle Filter umfasst %1 von %2 vorhandenen Objekten auf dem Laufwerk. Diese belegen "
    "%3.<br>Sie können die Ausgabe filtern und sich so z.B. die größten Video-Dateien oder "
    "Archive anzeigen lassen. Verwenden Sie dazu das Steuerelement neben \"Anzeigen\". Sie können "
    "dort auch gezielt eine Dateiendung wie z.B. \"zip\" eingeben und die Eingabetaste (RETURN) "
    "drücken, um nur Dateien dieser Endung auflisten zu lassen.",
    "<b>Bitte warten...</b><br>Filter werden angewendet. Dies kann einige Sekunden in Anspruch "
    "nehmen.",
    "<b>Unvollständiges Ergebnis:</b> %4<br>Der aktuelle Filter umfasst %1 von %2 gelesenen "
    "Objekten auf dem Laufwerk. Diese belegen %3. Was nicht gelesen werden konnte, fehlt in diesen "
    "Zahlen.",
    "<b>Das Ergebnis dieser Analyse ist unvollständig.</b><br>%1<br>Größen, Anzahlen und Anteile "
    "umfassen nur den Teil des Laufwerks, der gelesen werden konnte.",
    "Die Analyse wurde abgebrochen, bevor alle Ordner gelesen waren.",
    "Das Laufwerk konnte nicht vollständig gelesen werden.",
    "Nicht lesbare Ordner: %1 (ihr Inhalt fehlt).",
    "Beispiel: %1",
    "Sind Sie sicher, dass die markierten Dateien/Ordner in den Papierkorb verschoben werden "
    "sollen?\r\nDies kann katastrophale Folgen haben wenn es sich dabei um wichtige "
    "Systemdateien handeln sollte!\r\nDie Analyse wird danach aktualisiert: Was verschoben "
    "wurde, verschwindet aus der Liste und den Summen.",
    "Folgende Objekte konnten nicht in den Papierkorb verschoben werden. Sie bleiben unverändert "
    "an ihrem Platz und in der Analyse:\r\n\r\n%1",
    "… und %1 weitere",
    "existiert nicht mehr",
    "keine Berechtigung",
    "das Laufwerk ist schreibgeschützt",
    "auf diesem Laufwerk ist kein Papierkorb verfügbar (%1)",
    "kann nicht in den Papierkorb verschoben werden (%1)",
    "Fehler: %1",
    "<b>Bitte warten...</b><br>Die markierten Objekte werden in den Papierkorb verschoben.",
    "Ok",
    "Abbrechen",
    "Ok",
    "Ja",
    "Nein",
    "Orbisca",
    "Änderungen an der Sprache oder dem Skin werden erst angewendet, wenn Sie die Software neu "
    "starten.",
    "Allgemein",
    "Sind Sie ganz sicher, dass <b>alle</b> Einstellungen jetzt zurückgesetzt werden sollen? "
    "Dies entfernt alle geänderten oder hinzugefügten Einstellungen seit der Installation dieser "
    "Software. Diese Aktion kann später <b>nicht</b> rückgängig gemacht werden!",
    "Zurück",
    "Zur letzten Startseite zurückkehren. Dies beendet das aktuell sichtbare Modul.",
    "Optionen",
    "Einstellungen für diese Software anzeigen. Manche Einstellungen gelten erst nach einem "
    "Neustart dieser Software.",
    "Internet",
    "Diese Software kaufen, Support anfordern und vieles mehr - entdecken Sie die Möglichkeiten!",
    "Feedback",
    "Hinterlassen Sie uns doch Feedback zu dieser Software",
    "Byte",
    "Bytes",
    "MyZelvano",
    "Software Deals",
    "More Downloads",
    "Defragmentieren mit Zelvano Tidewell",
    "Analysiere Speicherbelegung mit Zelvano Tidewell",
    "Vernichten mit Zelvano Tidewell",
    "Verschlüsseln mit Zelvano Tidewell",
    "Entschlüsseln mit Zelvano Tidewell",
    "Teilen mit Zelvano Tidewell",
    "Zusammenfügen mit Zelvano Tidewell",
    "Inhalt vernichten mit Zelvano Tidewell",
    "Nach gelöschten Dateien suchen mit Zelvano Tidewell",
    "Die Seite %1 der Hilfe wurde nicht gefunden. Bitte installieren Sie die Software neu.",
    "Die Software wurde nicht gestartet: Die Anmeldung als Administrator wurde abgebrochen. Sie "
    "braucht Administratorrechte, um ganze Laufwerke zu lesen.",
    "Die Software wurde nicht gestartet: Die Administratorrechte wurden verweigert (falsches "
    "Passwort, kein Administrator-Konto oder kein Anmeldedienst in dieser Arbeitsumgebung).",
    "Die Software braucht Administratorrechte, aber pkexec ist nicht installiert. Bitte "
    "installieren Sie das Paket \"pkexec\".",
    "hat sich seit der Analyse geändert",
    "„%1“ wird nicht geöffnet: %2",
    "Die Software weiß nicht, für welchen Benutzer sie handelt (%1 nennt kein Benutzerkonto). Sie "
    "öffnet, zeigt und löscht deshalb nichts, denn sonst würde sie als Administrator handeln.",
    "Folgende Objekte hätte %1 selbst nicht löschen dürfen. Sie liegen deshalb im Papierkorb des "
    "Administrators, nicht in Ihrem:\r\n\r\n%2",
    "Der Ordner der Oberflächen fehlt: %1\r\nDie Fenster verwenden die in die Software eingebaute "
    "Oberfläche. Bitte installieren Sie die Software neu.",
    "Die Einstellungen können nicht gespeichert werden: Die Datei %1 ist nicht beschreibbar (%2).",
    "Das Laufwerk %1 wird nicht untersucht: Es ist kein Laufwerk mit Datenträger, das die Software "
    "untersuchen kann (Netzlaufwerke, CD-/DVD-Laufwerke und RAM-Disks werden nicht untersucht). Bitte "
    "wählen Sie ein Laufwerk aus und klicken Sie auf \"Neue Analyse\".",
    "Sind Sie sicher, dass folgende Objekte (%1) endgültig gelöscht werden sollen?\r\nSie kommen nicht in den Papierkorb und können nicht wiederhergestellt werden!\r\n\r\n%2\r\n\r\nDie Analyse wird danach aktualisiert: Was gelöscht wurde, verschwindet aus der Liste und den Summen.",
    "Folgende Objekte konnten nicht gelöscht werden. Sie bleiben in der Analyse:\r\n\r\n%1",
    "nur zum Teil gelöscht; was übrig ist, bleibt in der Analyse (%1)",
    "kann nicht gelöscht werden (%1)",
    "<b>Bitte warten...</b><br>Die markierten Objekte werden endgültig gelöscht.",
    "Eingabe",
    "Entf",
    "Umschalt+Entf",
    "Zeigt unter der Liste eine Karte des Ordners: Jede Fläche ist so groß, wie ihre Datei Platz belegt (Strg+M)",
    "<b>%1 kleine Dateien</b><br>%2<br>%3 (%4)",
    "Noch keine gespeicherten Analysen",
    "Datei öffnen…",
    "%1   %2   %3 Dateien   %4",
    "(unvollständig)",
    "Gespeicherte Analysen (*.orbisca *.json);;Alle Dateien (*)",
    "Die Analyse „%1“ kann nicht geöffnet werden: %2",
    "Gespeicherte Analyse von %1 vom %2 (%3). Aktionen wirken nur auf Objekte, die seitdem unverändert sind.",
    "Zelvano",
};
static_assert(std::size(kDefaults) == kMessageCount);

struct Catalogue {
    std::array<QString, kMessageCount> current;
    bool loaded = false;
    Catalogue() { reset(); }
    void reset() {
        for (int i = 0; i < kMessageCount; ++i)
            current[static_cast<size_t>(i)] = QString::fromUtf8(kDefaults[i]);
        loaded = false;
        publishButtonTexts();
    }
    // The system-style message boxes name their buttons in the program's language.
    void publishButtonTexts() const {
        const auto text = [this](Msg m) { return current[static_cast<size_t>(m)]; };
        platform::SetMessageBoxButtonTexts({text(Msg::MESSAGE_ASKER_YES),
                                            text(Msg::MESSAGE_ASKER_NO),
                                            text(Msg::MESSAGE_ASKER_OK), text(Msg::MESSAGE_ABORT)});
    }
};

Catalogue& catalogue() {
    static Catalogue c;
    return c;
}

int indexOfKey(const QString& key) {
    for (int i = 0; i < kMessageCount; ++i)
        if (key.compare(QLatin1String(kKeys[i]), Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

} // namespace

const QString& Message(Msg msg) {
    return catalogue().current[static_cast<size_t>(msg)];
}

QString Message(const QString& key) {
    const int i = indexOfKey(key);
    return i < 0 ? QString() : catalogue().current[static_cast<size_t>(i)];
}

QString MessageKey(Msg msg) {
    return QString::fromLatin1(kKeys[static_cast<int>(msg)]);
}

QString MessageDefault(Msg msg) {
    return QString::fromUtf8(kDefaults[static_cast<int>(msg)]);
}

QStringList MessageKeys() {
    QStringList keys;
    for (const char* key : kKeys)
        keys.append(QString::fromLatin1(key));
    return keys;
}

bool MessagesLoaded() {
    return catalogue().loaded;
}

void LoadMessageCatalogue() {
    const TLang* lang = ActiveTranslation();
    if (!lang)
        return;
    Catalogue& c = catalogue();
    c.loaded = true;
    for (int i = 0; i < kMessageCount; ++i)
        c.current[static_cast<size_t>(i)] =
            lang->Get_StringW(QStringLiteral("MESSAGES"), QString::fromLatin1(kKeys[i]));
    c.publishButtonTexts();
}

void ApplyFixedMessageTexts() {
    static constexpr std::pair<Msg, const char*> kFixed[] = {
        {Msg::MESSAGE_BYTE, "Byte"},
        {Msg::MESSAGE_BYTES, "Bytes"},
        {Msg::MESSAGE_IM_MYZELVANO, "MyZelvano"},
        {Msg::MESSAGE_IM_SOFTWAREDEALS, "Software Deals"},
        {Msg::MESSAGE_IM_MOREDOWNLOADS, "More Downloads"},
    };
    for (const auto& [msg, text] : kFixed) {
        QString& current = catalogue().current[static_cast<size_t>(msg)];
        if (current.isEmpty())
            current = QString::fromLatin1(text);
    }
}

void ResetMessageCatalogue() {
    catalogue().reset();
}

} // namespace i18n
