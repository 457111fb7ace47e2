// skin: chooses the background picture of the main windows ("fondo" in the settings), applies it
// to the open ones at once, or returns to the built-in background from the next start on. Fades
// in and out, taking no input while it fades. GUI thread only.
#pragma once

#include "base/Forms.h"

#include <QPixmap>

class Fader;
class Settings;
class QLabel;
class QLineEdit;
class QPushButton;

class BackgroundChooser : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "BackgroundChooser";
    // The open-file dialog's choices: three kinds of picture.
    static const QString kFilter;

    explicit BackgroundChooser(Forms& forms);

    void Form_Load() override;

    // The picture in a file, or a null pixmap when the path holds no picture (a folder, a missing
    // file, a file of another kind).
    static QPixmap loadPicture(const QString& path);
    // The background the settings name, or a null pixmap when they name no picture.
    static QPixmap storedPicture(const Settings& settings);

    QLineEdit* Text1() const { return m_text1; }
    QLabel* Image1() const { return m_image1; }
    QPushButton* Command1() const { return m_command1; }
    QPushButton* Command2() const { return m_command2; }
    QPushButton* Command3() const { return m_command3; }
    QPushButton* Command4() const { return m_command4; }
    QPushButton* Command5() const { return m_command5; }
    Fader& fader() const { return *m_fader; }

private:
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void showPreview();

    QLineEdit* m_text1;
    QLineEdit* m_text2;
    QLabel* m_image1;
    QPushButton* m_command1;
    QPushButton* m_command2;
    QPushButton* m_command3;
    QPushButton* m_command4;
    QPushButton* m_command5;
    Fader* m_fader;
};
