#include "RecorderWindow.h"

#include "base/Settings.h"
#include "community/RecordingErrorWindow.h"
#include "platform/Platform.h"
#include "platform/Timer.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMimeDatabase>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTime>
#include <QVBoxLayout>

namespace {

// Megabytes in powers of ten, in the shortest form that reads back exactly, with the user's
// decimal separator and no grouping.
QString megabytes(qint64 bytes) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(double(bytes) / 1000000.0, 'f', QLocale::FloatingPointShortest);
}

QString twoDigits(int n) {
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

const QString kConfig = QStringLiteral("config");
const QString kSplitKey = QStringLiteral("grabadora_canciones");
const QString kOffsetKey = QStringLiteral("grabadora_desplazamiento");
const QString kMinimumKey = QStringLiteral("grabadora_minimo");

} // namespace

RecorderWindow::RecorderWindow(Forms& forms) : Form(forms, QString::fromLatin1(kName)) {
    setCaption(QStringLiteral("Grabadora Sintonex"));
    setSizeTwips(6500, 5400);

    auto named = [](QWidget* w, const char* name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };
    titleLabel = new QLabel(QStringLiteral("Grabadora Sintonex  Versión 0.0.1"), this);
    named(titleLabel, "titleLabel");
    noticeLabel =
        new QLabel(QStringLiteral("La nueva grabadora de Sintonex permite grabar la TV o Radio en archivos "
                                  "multimedia para luego ser reproducidos. Ten en cuenta que el sistema se "
                                  "encuentra en fase beta por lo que va a dar errores."),
                   this);
    named(noticeLabel, "noticeLabel");
    noticeLabel->setWordWrap(true);

    settingsFrame = new QGroupBox(QStringLiteral("Configuración"), this);
    named(settingsFrame, "settingsFrame");
    folderField = new QLineEdit(settingsFrame);
    named(folderField, "folderField");
    folderField->hide();
    fileNameField = new QLineEdit(settingsFrame);
    named(fileNameField, "fileNameField");
    fileNameCopyField = new QLineEdit(settingsFrame);
    named(fileNameCopyField, "fileNameCopyField");
    fileNameCopyField->hide();
    extensionLabel = new QLabel(settingsFrame);
    named(extensionLabel, "extensionLabel");
    pathField = new QLineEdit(settingsFrame);
    named(pathField, "pathField");
    pathField->setReadOnly(true);
    changeFolderButton = new QPushButton(QStringLiteral("Cambiar"), settingsFrame);
    named(changeFolderButton, "changeFolderButton");

    auto* frameGrid = new QGridLayout(settingsFrame);
    frameGrid->addWidget(new QLabel(QStringLiteral("Nombre archivo:"), settingsFrame), 0, 0);
    frameGrid->addWidget(fileNameField, 0, 1);
    frameGrid->addWidget(extensionLabel, 0, 2);
    frameGrid->addWidget(new QLabel(QStringLiteral("Ubicación:"), settingsFrame), 1, 0);
    frameGrid->addWidget(pathField, 1, 1);
    frameGrid->addWidget(changeFolderButton, 1, 2);

    // One file per song, for the radio.
    splitSongs = new QCheckBox(QStringLiteral("Separar por canciones"), settingsFrame);
    named(splitSongs, "splitSongs");
    cutOffset = new QSpinBox(settingsFrame);
    named(cutOffset, "cutOffset");
    cutOffset->setRange(-SongFiles::kMaxOffsetMs / 1000, SongFiles::kMaxOffsetMs / 1000);
    minimumLength = new QSpinBox(settingsFrame);
    named(minimumLength, "minimumLength");
    minimumLength->setRange(0, 600);
    minimumLength->setValue(30);
    auto* offsetLabel = new QLabel(QStringLiteral("Desplazar los cortes (s):"), settingsFrame);
    auto* minimumLabel = new QLabel(QStringLiteral("Duración mínima (s):"), settingsFrame);
    auto* songRow = new QHBoxLayout;
    songRow->addWidget(offsetLabel);
    songRow->addWidget(cutOffset);
    songRow->addSpacing(12);
    songRow->addWidget(minimumLabel);
    songRow->addWidget(minimumLength);
    songRow->addStretch(1);
    frameGrid->addWidget(splitSongs, 2, 0, 1, 3);
    frameGrid->addLayout(songRow, 3, 0, 1, 3);
    m_songControls = {splitSongs, cutOffset, minimumLength, offsetLabel, minimumLabel};

    recordButton = new QPushButton(QStringLiteral("Grabar"), this);
    named(recordButton, "recordButton");
    stopButton = new QPushButton(QStringLiteral("Parar"), this);
    named(stopButton, "stopButton");
    stopButton->setEnabled(false);
    elapsedLabel = new QLabel(QStringLiteral("00:00:00"), this);
    named(elapsedLabel, "elapsedLabel");
    sizeLabel = new QLabel(QStringLiteral("0"), this);
    named(sizeLabel, "sizeLabel");
    unitLabel = new QLabel(QStringLiteral("MB"), this);
    named(unitLabel, "unitLabel");
    url = new QLineEdit(this);
    named(url, "url");
    url->hide();
    songLabel = new QLabel(this);
    named(songLabel, "songLabel");
    keptLabel = new QLabel(this);
    named(keptLabel, "keptLabel");
    songLabel->hide();
    keptLabel->hide();

    auto* status = new QGridLayout;
    status->addWidget(new QLabel(QStringLiteral("Tiempo grabado:"), this), 0, 0);
    status->addWidget(elapsedLabel, 0, 1, 1, 2);
    status->addWidget(new QLabel(QStringLiteral("Descargado:"), this), 1, 0);
    status->addWidget(sizeLabel, 1, 1);
    status->addWidget(unitLabel, 1, 2);
    status->addWidget(songLabel, 2, 0, 1, 3);
    status->addWidget(keptLabel, 3, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(recordButton);
    buttons->addWidget(stopButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(titleLabel);
    layout->addWidget(noticeLabel);
    layout->addWidget(settingsFrame);
    layout->addLayout(status);
    layout->addLayout(buttons);

    sizeTimer = new Timer(this, 100, false);
    sizeTimer->setObjectName(QStringLiteral("sizeTimer"));
    elapsedTimer = new Timer(this, 1000, false);
    elapsedTimer->setObjectName(QStringLiteral("elapsedTimer"));
    recorder = new Recorder(platform().network, this);
    recorder->setObjectName(QStringLiteral("recorder"));

    connect(fileNameField, &QLineEdit::textChanged, this, &RecorderWindow::refreshPath);
    connect(folderField, &QLineEdit::textChanged, this, &RecorderWindow::refreshPath);
    connect(changeFolderButton, &QPushButton::clicked, this, &RecorderWindow::changeFolderButton_Click);
    connect(recordButton, &QPushButton::clicked, this, &RecorderWindow::recordButton_Click);
    connect(stopButton, &QPushButton::clicked, this, &RecorderWindow::stopButton_Click);
    connect(sizeTimer, &Timer::tick, this, &RecorderWindow::sizeTimer_Timer);
    connect(elapsedTimer, &Timer::tick, this, &RecorderWindow::elapsedTimer_Timer);
    connect(recorder, &Recorder::ended, this, &RecorderWindow::recorder_Ended);
    connect(recorder, &Recorder::failed, this,
            [this](const Recorder::Error& e) { reportError(e, QStringLiteral("Descripcion: ")); });
    connect(splitSongs, &QCheckBox::toggled, this, [this] {
        storeSongSettings();
        refreshPath();
    });
    connect(cutOffset, &QSpinBox::valueChanged, this, &RecorderWindow::storeSongSettings);
    connect(minimumLength, &QSpinBox::valueChanged, this, &RecorderWindow::storeSongSettings);
    connect(recorder, &Recorder::songStarted, this,
            [this](const QString& title) { songLabel->setText(QStringLiteral("Canción: ") + title); });
    connect(recorder, &Recorder::songKept, this, [this] {
        keptLabel->setText(QStringLiteral("Canciones guardadas: ") + QString::number(recorder->songsKept()));
    });
    connect(recorder, &Recorder::recordedWhole, this, &RecorderWindow::recorder_RecordedWhole);
    setStation({});
}

RecorderWindow::~RecorderWindow() = default;

void RecorderWindow::open(Forms& forms, const QString& extension, const QString& sourceUrl,
                          const QString& station) {
    if (auto* f = static_cast<RecorderWindow*>(forms.form(QString::fromLatin1(kName)))) {
        f->setStation(station);
        f->setExtension(extension);
    }
    forms.show(QString::fromLatin1(kName));
    if (auto* f = forms.find<RecorderWindow>())
        f->url->setText(sourceUrl);
}

void RecorderWindow::setExtension(const QString& extension) {
    extensionLabel->setText(extension);
    if (settingsFrame->isEnabled() && !hasStoredFolder(settings()))
        folderField->setText(defaultFolder(extension));
    refreshPath();
}

bool RecorderWindow::hasStoredFolder(const Settings& settings) {
    const QString stored = settings.read(QStringLiteral("config"), QStringLiteral("grabadora"));
    return !stored.isEmpty() && stored != QLatin1String("error");
}

QString RecorderWindow::recordingsFolder(const Settings& settings, const QString& extension) {
    return hasStoredFolder(settings) ? settings.read(QStringLiteral("config"), QStringLiteral("grabadora"))
                                     : defaultFolder(extension);
}

QString RecorderWindow::defaultFolder(const QString& extension) {
    // Sound goes with the user's music, anything with a picture with the videos.
    const QMimeType type = QMimeDatabase().mimeTypeForFile(QStringLiteral("grabacion") + extension,
                                                           QMimeDatabase::MatchExtension);
    const auto kind = type.name().startsWith(QLatin1String("audio/")) ? QStandardPaths::MusicLocation
                                                                      : QStandardPaths::MoviesLocation;
    QString folder = QStandardPaths::writableLocation(kind);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

QString RecorderWindow::extension() const {
    return extensionLabel->text();
}

// Songs can be told apart only in a station's stream; without one the choice is not offered.
void RecorderWindow::setStation(const QString& station) {
    if (!settingsFrame->isEnabled())
        return; // recording: the opener touches nothing
    m_station = station;
    for (QWidget* w : m_songControls)
        w->setVisible(!station.isEmpty());
    refreshPath();
}

bool RecorderWindow::splitting() const {
    return !m_station.isEmpty() && splitSongs->isChecked();
}

QString RecorderWindow::stationFolder() const {
    return folderField->text() + SongFiles::safeName(m_station) + QLatin1Char('/');
}

void RecorderWindow::loadSongSettings() {
    const auto number = [this](const QString& key, int fallback) {
        bool ok = false;
        const int n = settings().read(kConfig, key).toInt(&ok);
        return ok ? n : fallback;
    };
    const QSignalBlocker a(splitSongs), b(cutOffset), c(minimumLength);
    splitSongs->setChecked(number(kSplitKey, 0) != 0);
    cutOffset->setValue(number(kOffsetKey, 0));
    minimumLength->setValue(number(kMinimumKey, 30));
}

// Stored at once, as the folder is: the next recording starts with the same choice.
void RecorderWindow::storeSongSettings() {
    settings().write(kConfig, kSplitKey, splitSongs->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    settings().write(kConfig, kOffsetKey, QString::number(cutOffset->value()));
    settings().write(kConfig, kMinimumKey, QString::number(minimumLength->value()));
}

void RecorderWindow::recorder_RecordedWhole(bool titlesSent) {
    pathField->setText(m_singlePath);
    songLabel->hide();
    keptLabel->hide();
    platform().dialogs->MsgBox(
        titlesSent
            ? QStringLiteral("Esta emisora emite en un formato que no puede cortarse por canciones sin "
                             "recodificarlo: se graba en un solo archivo.")
            : QStringLiteral(
                  "La emisora no envía los títulos de sus canciones: se graba en un solo archivo."),
        MsgStyle::Exclamation);
}

void RecorderWindow::Form_Load() {
    // A stored folder is used as it is; without one the desktop's own folder for the kind of
    // recording is offered (the opener's extension refines it).
    folderField->setText(recordingsFolder(settings(), extensionLabel->text()));
    fileNameField->setText(QTime::currentTime().toString(QStringLiteral("hh_mm_ss")));
    loadSongSettings();
}

void RecorderWindow::Form_Unload() {
    // The close box (or any unload) cancels the request; what was received stays in the file.
    recorder->stop();
}

void RecorderWindow::refreshPath() {
    // Once recording, the path is the file being written: an opener setting the extension again
    // must not point the size display and the saved message elsewhere.
    if (!settingsFrame->isEnabled())
        return;
    fileNameCopyField->setText(fileNameField->text());
    m_singlePath = folderField->text() + fileNameCopyField->text() + extensionLabel->text();
    // Split, the songs are named after themselves in the station's folder.
    fileNameField->setEnabled(!splitting());
    cutOffset->setEnabled(splitting());
    minimumLength->setEnabled(splitting());
    pathField->setText(splitting() ? stationFolder() : m_singlePath);
}

void RecorderWindow::changeFolderButton_Click() {
    const QString path =
        platform().dialogs->chooseFolder(this, QStringLiteral("Elige la carpeta de destino"));
    if (!path.isEmpty())
        folderField->setText(path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/'));
    // Written back also when cancelled.
    settings().write(QStringLiteral("config"), QStringLiteral("grabadora"), folderField->text());
}

void RecorderWindow::recordButton_Click() {
    refreshPath();
    const QString target = m_singlePath;
    const QFileInfo existing(target);
    if (!splitting() && existing.exists() && !existing.isDir() &&
        platform().dialogs->MsgBox(QStringLiteral("¿Deseas reemplazar el archivo existente?"),
                                   MsgStyle::YesNoQuestion) != kAnswerYes)
        return;

    sizeTimer->setEnabled(true);
    settingsFrame->setEnabled(false);
    rec_seconds = 0;
    rec_minutes = 0;
    rec_hours = 0;
    elapsedTimer->setEnabled(true);
    stopButton->setEnabled(true);
    recordButton->setEnabled(false);
    SongSplit split;
    split.on = splitting();
    split.folder = stationFolder();
    split.station = m_station;
    split.notSongs = {m_station};
    split.offsetMs = cutOffset->value() * 1000;
    split.minimumMs = minimumLength->value() * 1000;
    split.fallbackExtension = extensionLabel->text();
    recorder->setSongSplit(split);
    songLabel->setVisible(split.on);
    keptLabel->setVisible(split.on);
    keptLabel->setText(QStringLiteral("Canciones guardadas: 0"));
    Recorder::Error e;
    if (!recorder->start(url->text(), target, &e))
        reportError(e, QStringLiteral("Descripcion del error: "));
}

void RecorderWindow::recorder_Ended(qint64 bytes) {
    // A response with no body at all leaves an empty file and closes the window. Otherwise the
    // file is complete and closed, and the window waits for "Parar".
    if (bytes == 0)
        forms().unload(this);
}

void RecorderWindow::sizeTimer_Timer() {
    if (recorder->splittingSongs()) { // the audio of every song, kept or not
        const QString shown = megabytes(recorder->bytesWritten());
        if (sizeLabel->text() != shown)
            sizeLabel->setText(shown);
        return;
    }
    // Until this recording has created the file, a file of that name is someone else's.
    if (!recorder->fileCreated())
        return;
    const QFileInfo file(pathField->text());
    if (!file.exists())
        return; // the last value stays
    recorded_size = file.size();
    const QString shown = megabytes(recorded_size);
    if (sizeLabel->text() != shown)
        sizeLabel->setText(shown);
}

void RecorderWindow::elapsedTimer_Timer() {
    if (++rec_seconds == 60) {
        rec_seconds = 0;
        ++rec_minutes;
    }
    if (rec_minutes == 60) {
        rec_minutes = 0;
        rec_seconds = 0;
        ++rec_hours;
    }
    elapsedLabel->setText(twoDigits(rec_hours) + QLatin1Char(':') + twoDigits(rec_minutes) +
                          QLatin1Char(':') + twoDigits(rec_seconds));
}

void RecorderWindow::stopButton_Click() {
    // The song playing has no end yet: it is the user's to keep.
    const bool keep =
        recorder->currentSongKeepable() &&
        platform().dialogs->MsgBox(QStringLiteral("¿Deseas conservar la canción que está sonando? "
                                                  "Se guardará sin su final."),
                                   MsgStyle::YesNoQuestion) == kAnswerYes;
    recorder->stop(keep); // every byte received is on disk and the file closed before the message
    if (recorder->splittingSongs()) {
        if (recorder->songsKept() > 0)
            platform().dialogs->MsgBox(QStringLiteral("La grabación se ha guardado correctamente en ") +
                                       pathField->text());
        else
            platform().dialogs->MsgBox(QStringLiteral("No se ha guardado ninguna canción completa."),
                                       MsgStyle::Exclamation);
    } else if (recorder->bytesWritten() > 0) {
        platform().dialogs->MsgBox(QStringLiteral("La grabación se ha guardado correctamente en ") +
                                   pathField->text());
    } else {
        // Stopped while still connecting (or before the stream sent anything): there is no
        // recording, and an empty file of ours would only look like one.
        if (recorder->fileCreated())
            QFile::remove(pathField->text());
        platform().dialogs->MsgBox(
            QStringLiteral("No se ha grabado nada: la emisión todavía no había enviado datos."),
            MsgStyle::Exclamation);
    }

    // Every other window closes through the registry, then this one, then the run ends even if
    // an unload handler brought a window back.
    const QString mine = Caption();
    for (int guard = 2 * int(forms().loaded().size()) + 2; guard > 0 && forms().loaded().size() > 1;
         --guard) {
        Form* other = nullptr;
        for (Form* f : forms().loaded())
            if (f->Caption() != mine) {
                other = f;
                break;
            }
        if (!other)
            break;
        forms().unload(other);
    }
    forms().unload(this);
    forms().endProgram();
}

void RecorderWindow::reportError(const Recorder::Error& e, const QString& descriptionPrefix) {
    recorder->stop();
    const QString number = QString::number(e.number);
    if (auto* w = static_cast<RecordingErrorWindow*>(
            forms().form(QString::fromLatin1(RecordingErrorWindow::kName)))) {
        w->numberLabel->setText(QStringLiteral("Numero error: ") + number);
        w->descriptionLabel->setText(descriptionPrefix + e.description);
    }
    platform().dialogs->MsgBox(QStringLiteral("Error: ") + number, MsgStyle::Critical);
    forms().unload(this);
    forms().show(QString::fromLatin1(RecordingErrorWindow::kName));
}
