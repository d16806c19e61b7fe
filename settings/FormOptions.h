#pragma once

// The options dialog. Besides being a dialog, its one instance holds the file-format groups of
// the analyser in memory: the views read the texts of its fields directly and ask it to reload
// them from the registry before an analysis.

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QStackedWidget;

namespace settings {

class TForm_Options : public QDialog {
    Q_OBJECT
public:
    explicit TForm_Options(QWidget* owner = nullptr);
    ~TForm_Options() override;

    // Fills the controls from the registry; a control whose value is absent keeps its text.
    void LOAD_OPTIONS();

    // The file-format groups (page "Dateiformate").
    QLineEdit* Edit_ORB_Audio = nullptr;
    QLineEdit* Edit_ORB_Video = nullptr;
    QLineEdit* Edit_ORB_Bild = nullptr;
    QLineEdit* Edit_ORB_Archive = nullptr;
    QLineEdit* Edit_ORB_Docs = nullptr;
    QLineEdit* Edit_ORB_Apps = nullptr;
    QCheckBox* CheckBox_ORB_ShowOwnGroup = nullptr;
    QLineEdit* Edit_ORB_Name_OwnGroup = nullptr;
    QLineEdit* Edit_ORB_Formate_OwnGroup = nullptr;

private:
    void setupUi();

    QStackedWidget* PageControl1 = nullptr;
};

// The one instance of the run (created at start-up; nullptr before).
TForm_Options* Form_Options();
void SetForm_Options(TForm_Options* form);

} // namespace settings
