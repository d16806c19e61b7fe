#pragma once

// The file-format groups of the analyser: six built-in groups with an extension list each, and
// the user's own group with a switch, a name and a list. The options dialog edits them; the
// analyser's filter box, filter and formats view read them. Stored under OptionsKey, one value
// each; a value that is not stored leaves what was there (the built-in list at first).
//
//     settings::FormatGroups groups;   // built-in lists
//     groups.Load();                   // what the user stored
//     groups.List(settings::FormatGroupId::Audio) == "MP3 ; OGG ; WAV ; MID ; WMA"

#include <QString>

#include <array>

namespace settings {

// The ids number the groups in the order the analyser searches their lists: a file counts in
// the first group whose list holds its extension.
enum class FormatGroupId : int { Video, Audio, Pictures, Documents, Archives, Applications, Own };
inline constexpr int kFormatGroupCount = 7;

struct FormatGroupInfo {
    FormatGroupId id;
    const char* messageKey; // the caption in the message catalogue; none for the own group
    int picture;            // the picture in the analyser window's 16-pixel image list
    const char* valueName;  // the list's value under OptionsKey (the dialog's edit has this name)
    const char* builtInList;
};

// The seven groups in the order the options dialog and the filter box list them. Each built-in
// list starts with the long-standing formats and goes on with those a current desktop keeps
// (FLAC and OPUS, WEBP and HEIC, tarballs and packages, PDF and the office formats, shell
// scripts and AppImages). Stored lists are never changed: a reset brings these.
inline constexpr std::array<FormatGroupInfo, kFormatGroupCount> kFormatGroups = {{
    {FormatGroupId::Audio, "MESSAGE_ORB_FILTER_AUDIO", 9, "Edit_ORB_Audio",
     "MP3 ; OGG ; WAV ; MID ; WMA ; FLAC ; M4A ; AAC ; OPUS ; AIFF ; APE"},
    {FormatGroupId::Video, "MESSAGE_ORB_FILTER_VIDEO", 8, "Edit_ORB_Video",
     "AVI ; MPG ; MPEG ; RM ; WMV ; MOV ; VOB ; MP4 ; MKV ; WEBM ; M4V ; FLV ; TS ; 3GP ; OGV"},
    {FormatGroupId::Pictures, "MESSAGE_ORB_FILTER_PICS", 10, "Edit_ORB_Bild",
     "BMP ; JPG ; JPEG ; PNG ; GIF ; PSD ; TGA ; TIF ; WEBP ; HEIC ; HEIF ; AVIF ; SVG ; TIFF ; "
     "ICO ; "
     "CR2 ; NEF ; ARW ; DNG ; RAW"},
    {FormatGroupId::Archives, "MESSAGE_ORB_FILTER_ARCHIVES", 11, "Edit_ORB_Archive",
     "ZIP ; RAR ; CAB ; 7Z ; ACE ; GZIP ; TAR ; GZ ; TGZ ; BZ2 ; XZ ; ZST ; LZ ; LZMA ; DEB ; RPM "
     "; "
     "ISO ; DMG ; JAR ; APK ; SNAP ; FLATPAK"},
    {FormatGroupId::Documents, "MESSAGE_ORB_FILTER_DOCUMENTS", 12, "Edit_ORB_Docs",
     "DOC ; XLS ; XLM ; PPT ; RTF ; HTM ; HTML ; PDF ; DOCX ; XLSX ; PPTX ; ODT ; ODS ; ODP ; EPUB "
     "; "
     "TXT ; MD ; CSV ; TEX"},
    {FormatGroupId::Applications, "MESSAGE_ORB_FILTER_APPS", 13, "Edit_ORB_Apps",
     "EXE ; COM ; BAT ; DLL ; OCX ; SH ; APPIMAGE ; SO ; MSI ; RUN ; BIN"},
    {FormatGroupId::Own, nullptr, 14, "Edit_ORB_Formate_OwnGroup", ""},
}};

const FormatGroupInfo& FormatGroupInfoOf(FormatGroupId id);

// The own group's switch (REG_DWORD 0 or 1) and name under OptionsKey.
inline constexpr char kShowOwnGroupValue[] = "CheckBox_ORB_ShowOwnGroup";
inline constexpr char kOwnGroupNameValue[] = "Edit_ORB_Name_OwnGroup";

class FormatGroups {
public:
    // The built-in lists; the own group switched off, without name and list.
    FormatGroups();

    // A group's extension list as the user wrote it ("MP3 ; OGG").
    const QString& List(FormatGroupId id) const { return lists_[static_cast<size_t>(id)]; }
    void SetList(FormatGroupId id, const QString& extensions) {
        lists_[static_cast<size_t>(id)] = extensions;
    }

    bool ShowOwnGroup = false;
    QString OwnGroupName;

    // The filter box offers the own group when it is switched on and has a name and a list; the
    // formats view shows it when it is switched on and has a name.
    bool OwnGroupOffered() const;
    bool OwnGroupShown() const;

    // Stored values replace the ones here (a stored empty text too); the switch takes a stored 0
    // or 1 only. A value that is not stored keeps what is here.
    void Load();
    // Writes every value: the lists and the name as REG_SZ, the switch as REG_DWORD. False when
    // a write failed.
    bool Save() const;

    bool operator==(const FormatGroups&) const = default;

private:
    std::array<QString, kFormatGroupCount> lists_; // by FormatGroupId
};

// The groups the program works with: loaded at the first call; the options dialog loads them
// again when it is shown and replaces them when the user confirms, the analyser loads them again
// before each analysis.
FormatGroups& ProgramFormatGroups();
// Forgets them, so that the next ProgramFormatGroups() starts again from the built-in lists and
// the stored values (after a reset of every setting; tests).
void ForgetProgramFormatGroups();

} // namespace settings
