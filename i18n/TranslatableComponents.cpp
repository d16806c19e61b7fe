#include "i18n/TranslatableComponents.h"

namespace i18n {
namespace {

constexpr TranslatableComponent kComponents[] = {
    // Main window: its menus (the caption is the product name with the version and stays).
    {"TForm_QO7", "Form_QO7", "MenuItem_help_Help", "Hilfe"},
    {"TForm_QO7", "Form_QO7", "MenuItem_help_About", "Über diese Software"},
    {"TForm_QO7", "Form_QO7", "MenuItem_Options", "Einstellungen"},

    // Analyser window and its list's context menu.
    {"TForm_ORB", "Form_ORB", "LumoButton_Files", "Dateien"},
    {"TForm_ORB", "Form_ORB", "LumoButton_Folders", "Struktur"},
    {"TForm_ORB", "Form_ORB", "LumoButton_Formats", "Dateiformate"},
    {"TForm_ORB", "Form_ORB", "Label_ORB_NameBalkenDESC", "Balken in Spalte \"Name\":"},
    {"TForm_ORB", "Form_ORB", "Label_ORB_FilterDESC", "Anzeigen:"},
    {"TForm_ORB", "Form_ORB", "CheckBox_ORB_Map", "Karte"},
    {"TForm_ORB", "Form_ORB", "VirtualDrawTree_ORB_QO16",
     "Name%CRLFOrdner%CRLFDateien%CRLFGröße%CRLFGröße % %CRLFOrdnergröße %"},
    {"TForm_ORB", "Form_ORB", "HTMLabel_NothingDoneYet_QO15",
     "<P align=\"center\">Noch keine Analyse durchgeführt...</P>"},
    {"TForm_ORB", "Form_ORB", "LumoButton_Options", "Optionen"},
    {"TForm_ORB", "Form_ORB", "LumoButton_Analyse", "Neue Analyse"},
    {"TForm_ORB", "Form_ORB", "LumoButton_Saved", "Gespeicherte Analysen…"},
    {"TForm_ORB", "Form_ORB", "PopUp_OpenFile", "Datei öffnen"},
    {"TForm_ORB", "Form_ORB", "PopUp_ShowFolder", "Ordner dieser Datei im Explorer öffnen"},
    {"TForm_ORB", "Form_ORB", "PopUp_OpenFolder", "Ordner im Explorer öffnen"},
    {"TForm_ORB", "Form_ORB", "PopUp_Delete", "Löschen"},
    {"TForm_ORB", "Form_ORB", "PopUp_DeletePermanently", "Endgültig löschen"},

    // Drive picker (its button captions are replaced from the catalogue after translation).
    {"TForm_UNDELETE_Drive", "Form_UNDELETE_Drive", "Form_UNDELETE_Drive",
     "Bitte Laufwerk auswählen"},
    {"TForm_UNDELETE_Drive", "Form_UNDELETE_Drive", "LumoButton_Abort", "Abbrechen"},
    {"TForm_UNDELETE_Drive", "Form_UNDELETE_Drive", "LumoButton_Ok", "Ok"},

    // Options dialog.
    {"TForm_Options", "Form_Options", "Form_Options", "Einstellungen"},
    {"TForm_Options", "Form_Options", "TabSheet_LANG", "Sprache"},
    {"TForm_Options", "Form_Options", "TabSheet_OTHER", "Sonstiges"},
    {"TForm_Options", "Form_Options", "TabSheet_ORB1", "Dateiformate"},
    {"TForm_Options", "Form_Options", "TabSheet_SKIN", "Skin"},
    {"TForm_Options", "Form_Options", "TabSheet_CONTEXTMENU", "Kontextmenü"},
    {"TForm_Options", "Form_Options", "LumoButton_Reset", "Zurücksetzen"},
    {"TForm_Options", "Form_Options", "LumoButton_Ok", "Ok"},
    {"TForm_Options", "Form_Options", "HTMLabel_LANG_Info",
     "Hier können Sie die Sprache umstellen, in welcher die Software alle Texte anzeigt. Wählen "
     "Sie dazu die gewünschte Sprache aus und klicken Sie unten auf \"Ok\".<br><b>Achtung:</b> "
     "Die gewählte Sprache wird erst nach einem Neustart der Software verwendet!"},
    {"TForm_Options", "Form_Options", "ListView_Options_Language", "Sprache%CRLFÜbersetzer"},
    {"TForm_Options", "Form_Options", "HTMLabel_LANG_Translate",
     "Ihre Sprache nicht verfügbar? Klicken Sie <a href=\"1\">hier</a> für mehr Informationen "
     "zum Übersetzen dieser Software."},
    {"TForm_Options", "Form_Options", "HTMLabel_OTHER_Info",
     "Hier können Sie verschiedene Einstellungen vornehmen, die das Verhalten der Software "
     "beeinflussen."},
    {"TForm_Options", "Form_Options", "Label_OTHER_ServiceChannel", "Service-Channel"},
    {"TForm_Options", "Form_Options", "Label_OTHER_Kept", "Gespeicherte Analysen"},
    {"TForm_Options", "Form_Options", "Label_ORB_KeepPerDrive", "Je Laufwerk behalten:"},
    {"TForm_Options", "Form_Options", "Label_ORB_KeepMaxMiB", "Insgesamt höchstens:"},
    {"TForm_Options", "Form_Options", "HTMLabel_OTHER_ServiceChannel",
     "Die Zelvano Service-Channel halten Sie auf dem Laufenden und benachrichtigen Sie "
     "automatisch über kostenlose Updates, Premium-Versionen sowie aktuelle Angebote."},
    {"TForm_Options", "Form_Options", "LumoButton_ConfigureChannels", "Konfigurieren"},
    {"TForm_Options", "Form_Options", "CheckBox_Other_Tooltips",
     "Wenn verfügbar Tooltips einblenden wenn Mauszeiger auf einem Element ruht"},
    {"TForm_Options", "Form_Options", "HTMLabel_ORB1_Info",
     "Sie können die Dateiformate für die einzelnen Gruppen bearbeiten und eine eigene Gruppe "
     "definieren. Trennen Sie die einzelnen Endungen der Dateiformate durch ein Semikolon - z.B. "
     "\"zip ; rar ; ace\"."},
    {"TForm_Options", "Form_Options", "Label_ORB_Formats", "Dateiformate"},
    {"TForm_Options", "Form_Options", "Label_ORB_Audio", "Audiodateien"},
    {"TForm_Options", "Form_Options", "Label_ORB_Video", "Videodateien"},
    {"TForm_Options", "Form_Options", "Label_ORB_Bild", "Bilddateien"},
    {"TForm_Options", "Form_Options", "Label_ORB_Archive", "Archivdateien"},
    {"TForm_Options", "Form_Options", "Label_ORB_Docs", "Dokumente"},
    {"TForm_Options", "Form_Options", "Label_ORB_Apps", "Programmdateien"},
    {"TForm_Options", "Form_Options", "Label_ORB_OwnGroup", "Eigene Gruppe von Dateiformaten"},
    {"TForm_Options", "Form_Options", "CheckBox_ORB_ShowOwnGroup", "Eigene Gruppe anzeigen"},
    {"TForm_Options", "Form_Options", "Label_ORB_Name_OwnGroup", "Name der Gruppe "},
    {"TForm_Options", "Form_Options", "Label_ORB_Formate_OwnGroup", "Dateiformate"},
    {"TForm_Options", "Form_Options", "CheckBox_ShowContextMenu", "Kontextmenü-Einträge anzeigen"},
    {"TForm_Options", "Form_Options", "CheckBox_Context_DEFRAG", "\"Defragmentieren mit\" anzeigen"},
    {"TForm_Options", "Form_Options", "CheckBox_Context_DL",
     "\"Analysiere Speicherbelegung mit\" anzeigen"},
    {"TForm_Options", "Form_Options", "CheckBox_Context_FW", "\"Vernichten mit\" anzeigen"},
    {"TForm_Options", "Form_Options", "CheckBox_Context_ED",
     "\"Verschlüsseln mit\" und \"Entschlüsseln mit\" anzeigen"},
    {"TForm_Options", "Form_Options", "CheckBox_Context_FSJ",
     "\"Teilen mit\" und \"Dateien zusammenfügen mit\" anzeigen"},
    {"TForm_Options", "Form_Options", "CheckBox_Context_Recycle_FW",
     "Papierkorb: \"Inhalt vernichten mit\" anzeigen"},
    {"TForm_Options", "Form_Options", "CheckBox_Context_Recycle_Undelete",
     "Papierkorb: \"Nach gelöschten Dateien suchen mit\" anzeigen"},

    // About box (the main window replaces its caption with the text of its menu item).
    {"TForm_About", "Form_About", "Form_About", "Über diese Software"},
    {"TForm_About", "Form_About", "Label_Version", "Version:"},
    {"TForm_About", "Form_About", "HTMLabel1",
     "<b>Zelvano Orbisca 2024</b> zeigt, welche Ordner, Dateien und Dateiformate den Platz auf "
     "Ihren Laufwerken belegen.<br>Copyright © 2024 Zelvano. Alle Rechte vorbehalten.<br><br>"
     "<b>Mit Dank an</b><br>Qt 6 (LGPL 3) für die Oberfläche, SQLite (gemeinfrei) für die "
     "Einstellungen, zlib für die Bilder der Skins und das Wine-Projekt für die Schriftart "
     "Tahoma (LGPL).<br>Skins, Symbole, Flaggen und dieses Bild sind eigene Zeichnungen."},
    {"TForm_About", "Form_About", "LumoUnicodeSTButton_EULA", "EULA"},
    {"TForm_About", "Form_About", "LumoUnicodeSTButton_Privacy", "Datenschutzerklärung"},
    {"TForm_About", "Form_About", "Button_Ok", "Ok"},
};

} // namespace

std::span<const TranslatableComponent> TranslatableComponents() { return kComponents; }

QString BuiltInText(const QString& section, const QString& component) {
    for (const TranslatableComponent& c : kComponents) {
        if (section == QLatin1String(c.section) && component == QLatin1String(c.component)) {
            QString text = QString::fromUtf8(c.german);
            text.replace(QStringLiteral("%CRLF"), QStringLiteral("\r\n"), Qt::CaseInsensitive);
            return text;
        }
    }
    return {};
}

} // namespace i18n
