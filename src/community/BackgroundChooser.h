// BackgroundChooser: the window captioned "Cambiar fondo a Sintonex". It chooses the background
// picture of the main windows ("fondo" in the settings), applies it to the open ones at once, or
// returns to the built-in background from the next start on. Fades in and out, taking no input
// while it fades. GUI thread only.
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

    QLineEdit* pathField() const { return m_pathField; }
    QLabel* previewPicture() const { return m_previewPicture; }
    QPushButton* browseButton() const { return m_browseButton; } // "Buscar"
    QPushButton* applyButton() const { return m_applyButton; }   // "Aplicar fondo"
    QPushButton* removeButton() const { return m_removeButton; } // "Eliminar"
    QPushButton* helpButton() const { return m_helpButton; }     // "Ayuda Online"
    QPushButton* closeButton() const { return m_closeButton; }   // "x"
    Fader& fader() const { return *m_fader; }

private:
    void browseButton_Click();
    void applyButton_Click();
    void removeButton_Click();
    void helpButton_Click();
    void closeButton_Click();
    void showPreview();

    QLineEdit* m_pathField;
    QLineEdit* m_resetPathField; // hidden; what "Eliminar" stores in place of a picture
    QLabel* m_previewPicture;
    QPushButton* m_browseButton;
    QPushButton* m_applyButton;
    QPushButton* m_removeButton;
    QPushButton* m_helpButton;
    QPushButton* m_closeButton;
    Fader* m_fader;
};
