#include "BackgroundChooser.h"

#include "Fade.h"
#include "base/Endpoints.h"
#include "base/Settings.h"
#include "platform/Platform.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
const QString kSection = QStringLiteral("config");
const QString kKey = QStringLiteral("fondo");

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setWordWrap(true);
    return l;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}
} // namespace

const QString BackgroundChooser::kFilter =
    QStringLiteral("Imágenes JPG (*.jpg);;Imágenes JPGE (*.jpge);;Imágenes BMP (*.bmp)");

BackgroundChooser::BackgroundChooser(Forms& forms)
    : Form(forms, QString::fromLatin1(kName)), m_pathField(new QLineEdit(this)),
      m_resetPathField(new QLineEdit(this)), m_previewPicture(new QLabel(this)),
      m_browseButton(button(this, "browseButton", QStringLiteral("Buscar"))),
      m_applyButton(button(this, "applyButton", QStringLiteral("Aplicar fondo"))),
      m_removeButton(button(this, "removeButton", QStringLiteral("Eliminar"))),
      m_helpButton(button(this, "helpButton", QStringLiteral("Ayuda Online"))),
      m_closeButton(button(this, "closeButton", QStringLiteral("x"))),
      m_fader(new Fader(*this, Fader::Input::LockedWhileFading)) {
    setCaption(QStringLiteral("Cambiar fondo a Sintonex"));
    m_pathField->setObjectName(QStringLiteral("pathField"));
    m_pathField->setReadOnly(true);
    m_pathField->setToolTip(QStringLiteral("Ruta de la imagen"));
    m_resetPathField->setObjectName(QStringLiteral("resetPathField"));
    m_resetPathField->setText(QStringLiteral("C:\\"));
    m_resetPathField->hide();
    m_previewPicture->setObjectName(QStringLiteral("previewPicture"));
    m_previewPicture->setFixedSize(160, 120);
    m_previewPicture->setScaledContents(true);
    m_previewPicture->setFrameShape(QFrame::StyledPanel);
    m_closeButton->setFixedWidth(m_closeButton->sizeHint().height());

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_closeButton, 0, 2, Qt::AlignRight);
    grid->addWidget(
        label(this, "instructionsLabel",
              QStringLiteral("Para cambiar el fondo de la aplicación pulsa en \"buscar\" y localiza la "
                             "imagen deseada en tu disco duro o a través de una URL. (Es "
                             "recomendable que la imágen no supere 2 MB)")),
        1, 0, 1, 3);
    auto* path = new QHBoxLayout;
    path->addWidget(label(this, "pathLabel", QStringLiteral("Ruta:")));
    path->addWidget(m_pathField, 1);
    path->addWidget(m_browseButton);
    grid->addLayout(path, 2, 0, 1, 3);
    grid->addWidget(m_previewPicture, 3, 0, 3, 1);
    grid->addWidget(m_applyButton, 3, 1, 1, 2);
    grid->addWidget(m_removeButton, 4, 1, 1, 2);
    grid->addWidget(m_helpButton, 5, 1, 1, 2);
    grid->addWidget(
        label(this, "removeHintLabel",
              QStringLiteral("Si deseas volver al fondo predeterminado de Sintonex pulsa la tecla "
                             "\"Eliminar\". Cuando se reinicie la aplicación volverá al estado "
                             "principal.")),
        6, 0, 1, 3);
    resize(420, 330);

    connect(m_browseButton, &QPushButton::clicked, this, &BackgroundChooser::browseButton_Click);
    connect(m_applyButton, &QPushButton::clicked, this, &BackgroundChooser::applyButton_Click);
    connect(m_removeButton, &QPushButton::clicked, this, &BackgroundChooser::removeButton_Click);
    connect(m_helpButton, &QPushButton::clicked, this, &BackgroundChooser::helpButton_Click);
    connect(m_closeButton, &QPushButton::clicked, this, &BackgroundChooser::closeButton_Click);
}

QPixmap BackgroundChooser::loadPicture(const QString& path) {
    if (path.isEmpty())
        return {};
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    return image.isNull() ? QPixmap() : QPixmap::fromImage(image);
}

QPixmap BackgroundChooser::storedPicture(const Settings& settings) {
    const QString stored = settings.read(kSection, kKey);
    return stored == QLatin1String("error") ? QPixmap() : loadPicture(stored);
}

void BackgroundChooser::Form_Load() {
    m_fader->fadeIn();
    const QString stored = settings().read(kSection, kKey);
    // A missing setting shows an empty path, not the settings' "error" marker.
    m_pathField->setText(stored == QLatin1String("error") ? QString() : stored);
    showPreview();
}

void BackgroundChooser::showPreview() {
    const QPixmap picture = loadPicture(m_pathField->text());
    if (picture.isNull())
        m_previewPicture->clear();
    else
        m_previewPicture->setPixmap(picture);
}

void BackgroundChooser::browseButton_Click() {
    const QString chosen = platform().dialogs->openFile(this, kFilter);
    if (!chosen.isEmpty())
        m_pathField->setText(chosen);
    showPreview();
}

void BackgroundChooser::applyButton_Click() {
    m_fader->fadeOut();
    settings().write(kSection, kKey, m_pathField->text());
    // Only windows that are open take the picture now: loading a player window just to change its
    // background would leave it running unseen. The others read the setting when they load.
    for (const char* window : {"TvWindow", "RadioWindow", "ChooserWindow"}) {
        QLabel* image =
            forms().loadedControl<QLabel>(QString::fromLatin1(window), QStringLiteral("backgroundPicture"));
        const QPixmap picture = storedPicture(settings());
        if (image && !picture.isNull())
            image->setPixmap(picture);
    }
}

void BackgroundChooser::removeButton_Click() {
    settings().write(kSection, kKey, m_resetPathField->text());
    platform().dialogs->MsgBox(QStringLiteral("El fondo se reestablecerá cuando se reinicie el programa"));
    m_fader->fadeOut();
}

void BackgroundChooser::helpButton_Click() {
    platform().shell->open(endpoints().skinsHelp());
}

void BackgroundChooser::closeButton_Click() {
    m_fader->fadeOut();
}
