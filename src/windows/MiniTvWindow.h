// MiniTvWindow: the mini TV window, captioned with the channel's name followed by " en Sintonex"
// ("Sintonex - MINI" until a channel is handed over). It plays the channel the TV window hands
// over, in a small window
// that stays above the others and is dragged by its client area; closing it hands the channel
// back to the TV window. GUI thread only.
#pragma once

#include "base/Forms.h"

#include <initializer_list>

class MediaPlayer;
class QPushButton;

class MiniTvWindow : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "MiniTvWindow";
    explicit MiniTvWindow(Forms& forms);

    void Form_Load() override;
    void Form_Unload() override;

    MediaPlayer* player;
    QPushButton* hideControlsButton; // "Ocultar controles"
    QPushButton* showControlsButton; // "Mostrar controles"

    void hideControlsButton_Click();
    void showControlsButton_Click();
    void player_DoubleClick();

protected:
    void resizeEvent(QResizeEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
};

// The layout of a window with a row of buttons along its bottom edge (twips of `window`'s client
// area below `top` pixels): the buttons at Left 0 and 50 above the bottom, the content above them
// over the full width and down to `gap` above the first button's top, but never under 100 high.
void layoutAboveButtons(QWidget* window, int top, QWidget* content, std::initializer_list<QWidget*> buttons,
                        int gap);
