#include "ChannelSourcesWindow.h"

#include "OwnLists.h"
#include "base/Endpoints.h"
#include "platform/Platform.h"
#include "platform/Timer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kReportTickMs = 500;
// A service that has not begun to read a changed fuentes.txt after this long is not reading it.
constexpr int kTicksBeforeGivingUp = 5000 / kReportTickMs;

using sourcesfile::Kind;

QString kindText(Kind kind, bool isDefault = false) {
    const QString text = kind == Kind::Tv      ? QStringLiteral("Televisión")
                         : kind == Kind::Radio ? QStringLiteral("Radio")
                                               : QStringLiteral("Guía de programación");
    return isDefault ? text + QStringLiteral(" (predeterminada)") : text;
}

QString fromBytes(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

std::string toBytes(const QString& s) {
    return s.toUtf8().toStdString();
}

// The service's word for a source of the file, matched by list and address as written.
const SourceReport::Source* reported(const std::optional<SourceReport>& report, Kind kind,
                                     const QString& address, bool isDefault) {
    if (!report)
        return nullptr;
    for (const SourceReport::Source& s : report->sources)
        if (s.isDefault == isDefault && s.radio == (kind == Kind::Radio) &&
            s.guide == (kind == Kind::Guide) && s.address == address)
            return &s;
    return nullptr;
}

bool sameSource(const sourcesfile::Source& s, Kind kind, const std::string& address) {
    return s.kind == kind && s.address == address;
}

} // namespace

ChannelSourcesWindow::ChannelSourcesWindow(Forms& forms) : Form(forms, QString::fromLatin1(kName)) {
    setCaption(QStringLiteral("Mis listas de canales"));
    const auto named = [](QWidget* w, const char* name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };
    m_introLabel = new QLabel(this);
    m_introLabel->setWordWrap(true);
    named(m_introLabel, "introLabel");
    m_sourcesTree = new QTreeWidget(this);
    named(m_sourcesTree, "sourcesTree");
    m_sourcesTree->setHeaderLabels(
        {QStringLiteral("Lista"), QStringLiteral("Dirección o fichero"), QStringLiteral("Estado")});
    m_sourcesTree->setRootIsDecorated(false);
    m_sourcesTree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_kindBox = new QComboBox(this);
    named(m_kindBox, "kindBox");
    m_kindBox->addItems({kindText(Kind::Tv), kindText(Kind::Radio), kindText(Kind::Guide)});
    m_addressField = new QLineEdit(this);
    named(m_addressField, "addressField");
    m_addressField->setPlaceholderText(QStringLiteral("Dirección de la lista o fichero"));
    m_browseButton = new QPushButton(QStringLiteral("Examinar…"), this);
    named(m_browseButton, "browseButton");
    m_addButton = new QPushButton(QStringLiteral("Añadir"), this);
    named(m_addButton, "addButton");
    m_removeButton = new QPushButton(QStringLiteral("Quitar"), this);
    named(m_removeButton, "removeButton");
    m_defaultsBox = new QCheckBox(QStringLiteral("Usar las fuentes predeterminadas"), this);
    named(m_defaultsBox, "defaultsBox");
    m_unknownLabel = new QLabel(this);
    m_unknownLabel->setWordWrap(true);
    named(m_unknownLabel, "unknownLabel");
    m_noticeLabel = new QLabel(this);
    m_noticeLabel->setWordWrap(true);
    named(m_noticeLabel, "noticeLabel");
    m_progressBar = new QProgressBar(this);
    named(m_progressBar, "progressBar");
    m_progressBar->setFormat(QStringLiteral("Leyendo las fuentes… %v de %m"));
    m_progressBar->hide();
    m_acceptButton = new QPushButton(QStringLiteral("Aceptar"), this);
    named(m_acceptButton, "acceptButton");
    m_closeButton = new QPushButton(QStringLiteral("Cerrar"), this);
    named(m_closeButton, "closeButton");
    m_reportTimer = new Timer(this, kReportTickMs, false);
    m_reportTimer->setObjectName(QStringLiteral("reportTimer"));

    auto* adding = new QHBoxLayout;
    adding->addWidget(m_kindBox);
    adding->addWidget(m_addressField, 1);
    adding->addWidget(m_browseButton);
    adding->addWidget(m_addButton);
    auto* editing = new QHBoxLayout;
    editing->addWidget(m_removeButton);
    editing->addStretch(1);
    editing->addWidget(m_defaultsBox);
    auto* closing = new QHBoxLayout;
    closing->addStretch(1);
    closing->addWidget(m_acceptButton);
    closing->addWidget(m_closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_introLabel);
    layout->addWidget(m_sourcesTree, 1);
    layout->addLayout(adding);
    layout->addLayout(editing);
    layout->addWidget(m_unknownLabel);
    layout->addWidget(m_noticeLabel);
    layout->addWidget(m_progressBar);
    layout->addLayout(closing);
    setSizeTwips(10500, 6600);

    connect(m_browseButton, &QPushButton::clicked, this, &ChannelSourcesWindow::browseButton_Click);
    connect(m_addButton, &QPushButton::clicked, this, &ChannelSourcesWindow::addButton_Click);
    connect(m_addressField, &QLineEdit::returnPressed, this, &ChannelSourcesWindow::addButton_Click);
    connect(m_removeButton, &QPushButton::clicked, this, &ChannelSourcesWindow::removeButton_Click);
    connect(m_acceptButton, &QPushButton::clicked, this, &ChannelSourcesWindow::acceptButton_Click);
    connect(m_closeButton, &QPushButton::clicked, this, [this] { this->forms().unload(this); });
    connect(m_reportTimer, &Timer::tick, this, &ChannelSourcesWindow::reportTimer_Timer);
    connect(m_defaultsBox, &QCheckBox::toggled, this, [this](bool on) {
        m_file.setDefaultsOn(on);
        showRows();
    });
    connect(m_sourcesTree, &QTreeWidget::currentItemChanged, this, [this] {
        const int row = m_sourcesTree->indexOfTopLevelItem(m_sourcesTree->currentItem());
        m_removeButton->setEnabled(row >= 0 && row < m_rows.size() && m_rows[row].source >= 0);
    });
}

QString ChannelSourcesWindow::filePath() const {
    return platform().programFolder + QLatin1Char('/') + QLatin1String(sourcesfile::kFileName);
}

QString ChannelSourcesWindow::statusPath() const {
    return platform().programFolder + QLatin1Char('/') + QLatin1String(sourcesfile::kStatusFileName);
}

void ChannelSourcesWindow::Form_Load() {
    if (!platform().ownService) {
        // The lists are that service's: its sources are chosen there, and fuentes.txt is not read.
        m_introLabel->setText(
            QStringLiteral("Las listas de canales vienen del servicio %1. Sus fuentes se eligen "
                           "allí: desde aquí no se pueden cambiar.")
                .arg(endpoints().serviceBase()));
        for (QWidget* w : std::initializer_list<QWidget*>{
                 m_sourcesTree, m_kindBox, m_addressField, m_browseButton, m_addButton, m_removeButton,
                 m_defaultsBox, m_unknownLabel, m_noticeLabel, m_acceptButton})
            w->hide();
        return;
    }
    m_introLabel->setText(
        QStringLiteral("Sintonex arma sus listas de televisión y de radio con estas fuentes: "
                       "tus listas (M3U, M3U8, PLS o JSON de emisoras), por su dirección o "
                       "como fichero, y las predeterminadas."));
    const QFileInfo info(filePath());
    QFile file(filePath());
    if (!info.exists()) {
        m_file = sourcesfile::SourcesFile::withHeader(); // written only on "Aceptar"
    } else if (info.isFile() && info.size() <= qint64(sourcesfile::kMaxBytes) &&
               file.open(QIODevice::ReadOnly)) {
        m_file = sourcesfile::SourcesFile::parse(file.readAll().toStdString());
    } else {
        // Offering changes would mean writing over what could not be read.
        m_noticeLabel->setText(
            QStringLiteral("No se puede leer fuentes.txt: desde aquí no se puede cambiar."));
        for (QWidget* w :
             std::initializer_list<QWidget*>{m_kindBox, m_addressField, m_browseButton, m_addButton,
                                             m_removeButton, m_defaultsBox, m_acceptButton})
            w->setEnabled(false);
    }
    m_saved = m_file;
    {
        const QSignalBlocker quiet(m_defaultsBox);
        m_defaultsBox->setChecked(m_file.defaultsOn());
    }
    m_report = readSourceReport(statusPath());
    showRows();
    showUnknownLines();
    m_removeButton->setEnabled(false);
    m_reportTimer->setEnabled(true);
}

void ChannelSourcesWindow::Form_Unload() {
    // An accepted reading goes on in the service; the window only stops watching it.
    m_reportTimer->setEnabled(false);
}

void ChannelSourcesWindow::showRows() {
    const int current = m_sourcesTree->indexOfTopLevelItem(m_sourcesTree->currentItem());
    m_sourcesTree->clear();
    m_rows.clear();
    const QDateTime now = QDateTime::currentDateTime();
    const auto& sources = m_file.sources();
    for (int i = 0; i < int(sources.size()); ++i) {
        const sourcesfile::Source& s = sources[size_t(i)];
        const QString address = fromBytes(s.address);
        const bool saved =
            std::any_of(m_saved.sources().begin(), m_saved.sources().end(),
                        [&](const sourcesfile::Source& o) { return sameSource(o, s.kind, s.address); });
        const SourceReport::Source* r = reported(m_report, s.kind, address, false);
        const QString state = !saved ? QStringLiteral("se leerá al aceptar")
                              : r    ? stateText(*r, now)
                                     : QStringLiteral("sin leer todavía");
        m_sourcesTree->addTopLevelItem(new QTreeWidgetItem({kindText(s.kind), address, state}));
        m_rows.append(Row{i});
    }
    if (m_report && m_file.defaultsOn())
        for (const SourceReport::Source& r : m_report->sources)
            if (r.isDefault) {
                m_sourcesTree->addTopLevelItem(new QTreeWidgetItem(
                    {kindText(r.radio ? Kind::Radio : Kind::Tv, true), r.address, stateText(r, now)}));
                m_rows.append(Row{-1});
            }
    if (current >= 0 && current < m_sourcesTree->topLevelItemCount())
        m_sourcesTree->setCurrentItem(m_sourcesTree->topLevelItem(current));
}

void ChannelSourcesWindow::showUnknownLines() {
    QString text;
    for (const sourcesfile::UnknownLine& u : m_file.unknownLines())
        text += QStringLiteral("\nlínea %1: %2").arg(u.line).arg(fromBytes(u.text));
    m_unknownLabel->setText(
        text.isEmpty()
            ? QString()
            : QStringLiteral("Líneas de fuentes.txt que Sintonex no entiende (se conservan tal cual):") +
                  text);
    m_unknownLabel->setVisible(!text.isEmpty());
}

void ChannelSourcesWindow::browseButton_Click() {
    const QString chosen = platform().dialogs->openFile(
        this, m_kindBox->currentIndex() == 2
                  ? QStringLiteral("Guías de programación (*.xml *.xml.gz *.gz);;Todos los ficheros (*)")
                  : QStringLiteral("Listas de canales (*.m3u *.m3u8 *.pls *.json);;Todos los ficheros (*)"));
    if (!chosen.isEmpty())
        m_addressField->setText(chosen);
}

void ChannelSourcesWindow::addButton_Click() {
    const QString address = m_addressField->text().trimmed();
    const Kind kind = m_kindBox->currentIndex() == 1   ? Kind::Radio
                      : m_kindBox->currentIndex() == 2 ? Kind::Guide
                                                       : Kind::Tv;
    if (address.isEmpty())
        return m_noticeLabel->setText(QStringLiteral("Escribe una dirección o elige un fichero."));
    const std::string bytes = toBytes(address);
    if (std::any_of(m_file.sources().begin(), m_file.sources().end(),
                    [&](const sourcesfile::Source& s) { return sameSource(s, kind, bytes); }))
        return m_noticeLabel->setText(QStringLiteral("Esa fuente ya está en la lista."));
    if (!m_file.add(kind, bytes))
        return m_noticeLabel->setText(QStringLiteral("Esa dirección no cabe en una línea de fuentes.txt."));
    m_noticeLabel->clear();
    m_addressField->clear();
    showRows();
}

void ChannelSourcesWindow::removeButton_Click() {
    const int row = m_sourcesTree->indexOfTopLevelItem(m_sourcesTree->currentItem());
    if (row < 0 || row >= m_rows.size() || m_rows[row].source < 0)
        return;
    m_file.remove(size_t(m_rows[row].source));
    m_sourcesTree->setCurrentItem(nullptr);
    showRows();
}

void ChannelSourcesWindow::acceptButton_Click() {
    const std::string bytes = m_file.bytes();
    m_before = readSourceReport(statusPath());
    QSaveFile out(filePath());
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()) || !out.commit()) {
        m_noticeLabel->setText(QStringLiteral("No se pudo guardar fuentes.txt: %1").arg(out.errorString()));
        return;
    }
    // The service sees the new file within a second and reads every source again.
    m_saved = m_file;
    m_fingerprint = QString::fromStdString(sourcesfile::fingerprint(bytes));
    m_waiting = true;
    m_ticksWaited = 0;
    m_noticeLabel->setText(QStringLiteral("Leyendo las fuentes…"));
    m_progressBar->setRange(0, 0);
    m_progressBar->show();
    showRows();
}

void ChannelSourcesWindow::reportTimer_Timer() {
    m_report = readSourceReport(statusPath());
    showRows();
    if (m_waiting)
        showReading();
}

void ChannelSourcesWindow::showReading() {
    ++m_ticksWaited;
    const bool started =
        m_report && (!m_before || m_report->pid != m_before->pid || m_report->round > m_before->round);
    if (m_report && m_report->hasRead(m_fingerprint, m_before)) {
        m_waiting = false;
        m_progressBar->hide();
        const bool failed = std::any_of(
            m_report->sources.begin(), m_report->sources.end(),
            [](const SourceReport::Source& s) { return s.phase == SourceReport::Source::Phase::Failed; });
        m_noticeLabel->setText(
            failed ? QStringLiteral("Alguna fuente no se pudo leer (mira su estado); las demás "
                                    "listas siguen como estaban.")
                   : QStringLiteral("Listo: las listas de canales están al día."));
        // The lists come through OwnLists, which also follows the report; asked here as well so
        // that they follow this window's change whatever the order of the notifications.
        OwnLists::of(forms()).installIfNewer();
        return;
    }
    if (started) {
        int done = 0;
        for (const SourceReport::Source& s : m_report->sources)
            done += s.phase == SourceReport::Source::Phase::Read ||
                    s.phase == SourceReport::Source::Phase::Failed;
        m_progressBar->setRange(0, int(m_report->sources.size()));
        m_progressBar->setValue(done);
    } else if (m_ticksWaited >= kTicksBeforeGivingUp) {
        m_waiting = false;
        m_progressBar->hide();
        m_noticeLabel->setText(
            QStringLiteral("El servicio no ha leído los cambios. Quedan guardados en fuentes.txt "
                           "y se leerán la próxima vez que arranque."));
    }
}
