// HistoryWindow: "Canciones escuchadas", the songs the stations announced, newest first under a row
// for each day. The search box filters at every keystroke (each typed word begins a word of the
// artist, the title or the station), "Favoritas" keeps the starred songs; a selected song can be
// starred, copied, looked up for its lyrics or deleted, the list exported to CSV or cleared, and a
// double click plays its station in its player window. Opened from the radio window's menu, the
// tray menu and Ctrl+H. GUI thread only.
#pragma once

#include "base/Forms.h"
#include "base/SongHistory.h"

class HistoryModel;
class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

class HistoryWindow : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "HistoryWindow";

    explicit HistoryWindow(Forms& forms);
    ~HistoryWindow() override;

    void Form_Load() override;
    void Form_Unload() override;

    void starButton_Click();
    void copyButton_Click();
    void lyricsButton_Click();
    void deleteButton_Click();
    void exportButton_Click();
    void clearButton_Click();
    // Plays the station of the song in `row` in its player window.
    void list_DblClick(int row);

    // "Artista - Título", or the title alone when the station gave no artist.
    static QString songText(const SongHistory::Entry& entry);

    QLineEdit* searchBox;
    QCheckBox* favouritesFilter; // "Favoritas"
    QTableView* list;
    QLabel* notice; // why there is no history, or that a damaged one was set aside
    QPushButton* starButton;
    QPushButton* copyButton;
    QPushButton* lyricsButton;
    QPushButton* deleteButton;
    QPushButton* exportButton;
    QPushButton* clearButton; // "Borrar historial"
    HistoryModel* model;

private:
    int selectedRow() const;
    const SongHistory::Entry* selected() const;
    void applyFilter();
    void followSelection();
    void spanDays(int first, int last);
    void showNotice();
    void onChanged(SongHistory::Change what);

    QList<QAction*> m_songActions; // the rows' context menu and keys
    bool m_busy = false;           // the wait cursor is up until the history is cleared
};
