#include "HistoryWindow.h"

#include "HistoryModel.h"
#include "PlayerWindow.h"
#include "base/Endpoints.h"
#include "platform/Platform.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStandardPaths>
#include <QTableView>
#include <QVBoxLayout>

namespace {

const QString kRadio = QStringLiteral("RadioWindow");
const QString kTv = QStringLiteral("TvWindow");
const QString kTitle = QStringLiteral("Canciones escuchadas");

QPushButton* button(const char* caption, const char* name, QWidget* parent) {
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

} // namespace

HistoryWindow::HistoryWindow(Forms& forms) : Form(forms, QString::fromLatin1(kName)) {
    setCaption(kTitle);
    setSizeTwips(9000, 6500);

    searchBox = new QLineEdit(this);
    searchBox->setObjectName(QStringLiteral("searchBox"));
    searchBox->setPlaceholderText(QStringLiteral("Buscar artista, título o emisora"));
    searchBox->setClearButtonEnabled(true);
    favouritesFilter = new QCheckBox(QStringLiteral("Favoritas"), this);
    favouritesFilter->setObjectName(QStringLiteral("favouritesFilter"));

    model = new HistoryModel(forms.history(), this);
    // A table, not a tree: a tree view asks for more rows at every layout and so would read the
    // whole history; a table asks only when its last row comes into sight.
    list = new QTableView(this);
    list->setObjectName(QStringLiteral("list"));
    list->setModel(model);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setShowGrid(false);
    list->setWordWrap(false);
    list->verticalHeader()->hide();
    list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 6);
    list->horizontalHeader()->setStretchLastSection(true);
    list->horizontalHeader()->setHighlightSections(false);
    list->setColumnWidth(HistoryModel::Star, twips::toPx(360));
    list->setColumnWidth(HistoryModel::Time, twips::toPx(700));
    list->setColumnWidth(HistoryModel::Artist, twips::toPx(2400));
    list->setColumnWidth(HistoryModel::Title, twips::toPx(3000));

    notice = new QLabel(this);
    notice->setObjectName(QStringLiteral("notice"));
    notice->setWordWrap(true);
    notice->hide();

    starButton = button("Favorita", "starButton", this);
    starButton->setCheckable(true);
    copyButton = button("Copiar", "copyButton", this);
    lyricsButton = button("Buscar letra", "lyricsButton", this);
    deleteButton = button("Eliminar", "deleteButton", this);
    exportButton = button("Exportar a CSV", "exportButton", this);
    clearButton = button("Borrar historial", "clearButton", this);

    auto* top = new QHBoxLayout;
    top->addWidget(searchBox, 1);
    top->addWidget(favouritesFilter);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {starButton, copyButton, lyricsButton, deleteButton})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(exportButton);
    buttons->addWidget(clearButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(notice);
    layout->addWidget(list, 1);
    layout->addLayout(buttons);

    // The same actions on a song from its row: context menu and keys.
    const auto songAction = [this](const char* caption, const QKeySequence& keys, auto handler) {
        auto* a = new QAction(QString::fromUtf8(caption), list);
        a->setShortcut(keys);
        a->setShortcutContext(Qt::WidgetShortcut);
        connect(a, &QAction::triggered, this, handler);
        list->addAction(a);
        m_songActions.append(a);
    };
    songAction("Escuchar la emisora", QKeySequence(Qt::Key_Return), [this] { list_DblClick(selectedRow()); });
    songAction("Favorita", QKeySequence(Qt::CTRL | Qt::Key_D), &HistoryWindow::starButton_Click);
    songAction("Copiar", QKeySequence::Copy, &HistoryWindow::copyButton_Click);
    songAction("Buscar letra", QKeySequence(), &HistoryWindow::lyricsButton_Click);
    songAction("Eliminar", QKeySequence::Delete, &HistoryWindow::deleteButton_Click);
    list->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        searchBox->setFocus();
        searchBox->selectAll();
    });
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, [this] { this->forms().unload(this); });

    connect(searchBox, &QLineEdit::textChanged, this, &HistoryWindow::applyFilter);
    connect(favouritesFilter, &QCheckBox::toggled, this, &HistoryWindow::applyFilter);
    connect(starButton, &QPushButton::clicked, this, &HistoryWindow::starButton_Click);
    connect(copyButton, &QPushButton::clicked, this, &HistoryWindow::copyButton_Click);
    connect(lyricsButton, &QPushButton::clicked, this, &HistoryWindow::lyricsButton_Click);
    connect(deleteButton, &QPushButton::clicked, this, &HistoryWindow::deleteButton_Click);
    connect(exportButton, &QPushButton::clicked, this, &HistoryWindow::exportButton_Click);
    connect(clearButton, &QPushButton::clicked, this, &HistoryWindow::clearButton_Click);
    connect(list, &QTableView::doubleClicked, this, [this](const QModelIndex& i) { list_DblClick(i.row()); });
    connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &HistoryWindow::followSelection);
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { spanDays(first, last); });
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        list->clearSpans();
        spanDays(0, model->rowCount() - 1);
        followSelection();
    });
    connect(model, &QAbstractItemModel::rowsRemoved, this, &HistoryWindow::followSelection);
    connect(model, &QAbstractItemModel::dataChanged, this, &HistoryWindow::followSelection);
    connect(&forms.history(), &SongHistory::changed, this, &HistoryWindow::onChanged);
    followSelection();
}

HistoryWindow::~HistoryWindow() {
    if (m_busy)
        QGuiApplication::restoreOverrideCursor();
}

void HistoryWindow::Form_Load() {
    forms().history().open();
    showNotice();
    applyFilter();
}

void HistoryWindow::Form_Unload() {
    if (m_busy) {
        m_busy = false;
        QGuiApplication::restoreOverrideCursor();
    }
}

void HistoryWindow::showNotice() {
    SongHistory& history = forms().history();
    QString text;
    if (!history.isOpen()) {
        text = QStringLiteral("El historial no está disponible. ");
        switch (history.missing()) {
        case SongHistory::Missing::Driver:
            text += QStringLiteral("Falta el componente SQLite de Qt (paquete libqt6sql6-sqlite).");
            break;
        case SongHistory::Missing::NewerFile:
            text += QStringLiteral("Lo ha creado una versión más nueva de Sintonex.");
            break;
        case SongHistory::Missing::Unwritable:
        case SongHistory::Missing::Nothing:
            text += QStringLiteral("No se puede escribir en la carpeta del programa.");
            break;
        }
    } else if (const QString aside = history.takeSetAsideNotice(); !aside.isEmpty()) {
        text = QStringLiteral("El historial estaba dañado y se ha apartado como «") +
               QFileInfo(aside).fileName() + QStringLiteral("»; se empieza uno nuevo.");
    }
    notice->setText(text);
    notice->setVisible(!text.isEmpty());
    for (QWidget* w :
         std::initializer_list<QWidget*>{searchBox, favouritesFilter, list, exportButton, clearButton})
        w->setEnabled(history.isOpen());
}

void HistoryWindow::applyFilter() {
    model->setFilter({searchBox->text(), favouritesFilter->isChecked()});
}

// Day rows run across the whole list.
void HistoryWindow::spanDays(int first, int last) {
    for (int row = first; row <= last; ++row)
        if (model->isDayRow(row))
            list->setSpan(row, 0, 1, HistoryModel::ColumnCount);
}

int HistoryWindow::selectedRow() const {
    const QModelIndexList rows = list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

const SongHistory::Entry* HistoryWindow::selected() const {
    return model->entryAt(selectedRow());
}

// The song buttons and keys act on the selected song; without one they do nothing.
void HistoryWindow::followSelection() {
    const SongHistory::Entry* e = selected();
    for (QPushButton* b : {starButton, copyButton, lyricsButton, deleteButton})
        b->setEnabled(e != nullptr);
    for (QAction* a : m_songActions)
        a->setEnabled(e != nullptr);
    starButton->setChecked(e && e->favourite);
}

void HistoryWindow::onChanged(SongHistory::Change what) {
    if (what == SongHistory::Change::Cleared && m_busy) {
        m_busy = false;
        QGuiApplication::restoreOverrideCursor();
    }
    if (what == SongHistory::Change::NewFile)
        showNotice();
}

QString HistoryWindow::songText(const SongHistory::Entry& entry) {
    return entry.artist.isEmpty() ? entry.title : entry.artist + QStringLiteral(" - ") + entry.title;
}

void HistoryWindow::starButton_Click() {
    const int row = selectedRow();
    if (model->entryAt(row))
        model->toggleFavourite(row);
    followSelection();
}

void HistoryWindow::copyButton_Click() {
    if (const SongHistory::Entry* e = selected())
        QGuiApplication::clipboard()->setText(songText(*e));
}

// The radio window's lyrics search, for the song chosen here.
void HistoryWindow::lyricsButton_Click() {
    if (const SongHistory::Entry* e = selected())
        platform().shell->open(endpoints().lyricsSearch(songText(*e)));
}

void HistoryWindow::deleteButton_Click() {
    const int row = selectedRow();
    if (!model->entryAt(row))
        return;
    model->removeEntry(row);
    // The next song takes the place of the one deleted, so several go with repeated presses.
    const int next = model->entryAt(row) ? row : model->entryAt(row + 1) ? row + 1 : row - 1;
    if (model->entryAt(next))
        list->selectRow(next);
}

void HistoryWindow::exportButton_Click() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    const QString path = platform().dialogs->saveFile(
        this, QStringLiteral("Exportar el historial"),
        QDir(folder).filePath(QStringLiteral("canciones-escuchadas.csv")), QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    SongHistory& history = forms().history();
    history.flush(); // stars and deletions made a moment ago are in the file
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    QString error;
    const bool ok = history.exportCsv(path, model->filter(), &error);
    QGuiApplication::restoreOverrideCursor();
    if (!ok)
        platform().dialogs->MsgBox(QStringLiteral("No se ha podido exportar el historial: ") + error,
                                   MsgStyle::Critical);
}

void HistoryWindow::clearButton_Click() {
    if (platform().dialogs->MsgBox(
            QStringLiteral("¿Borrar todas las canciones escuchadas? Las favoritas se conservan."),
            MsgStyle::YesNoQuestion, kTitle) != kAnswerYes)
        return;
    if (!m_busy) {
        m_busy = true;
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    forms().history().clear();
}

void HistoryWindow::list_DblClick(int row) {
    const SongHistory::Entry* e = model->entryAt(row);
    if (!e)
        return;
    const SongHistory::Entry entry = *e; // the window may reload while the player window opens
    const QString target = entry.list == SongHistory::List::Tv ? kTv : kRadio;
    PlayerWindow* player = PlayerWindow::bringUp(forms(), target);
    if (!player)
        return;
    if (!player->playChannelNamed(entry.station))
        platform().dialogs->MsgBox(QStringLiteral("La emisora «") + entry.station +
                                       QStringLiteral("» ya no está en la lista de canales."),
                                   MsgStyle::Exclamation);
}
