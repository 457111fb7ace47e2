// PLACEHOLDER: replaced by the libmpv player.
#include "MediaPlayer.h"
#include <QWidget>
namespace {
class NullPlayer : public MediaPlayer {
public:
    explicit NullPlayer(QWidget* parent) : MediaPlayer(parent), m_w(new QWidget(parent)) {}
    void setURL(const QString& u) override { m_url = u; }
    QString URL() const override { return m_url; }
    void close() override {}
    void play() override {}
    void stop() override {}
    QString status() const override { return {}; }
    bool hasCurrentMedia() const override { return false; }
    QString sourceURL() const override { return {}; }
    std::optional<QString> getItemInfo(const QString&) const override { return std::nullopt; }
    void setVolume(int v) override { m_vol = v; }
    int volume() const override { return m_vol; }
    void setAutoStart(bool) override {}
    void setUiMode(const QString& m) override { m_mode = m; }
    QString uiMode() const override { return m_mode; }
    void setFullScreen(bool) override {}
    bool fullScreen() const override { return false; }
    QWidget* widget() override { return m_w; }

private:
    QWidget* m_w;
    QString m_url, m_mode;
    int m_vol = 100;
};
} // namespace
MediaPlayer* makeMpvPlayer(QWidget* parent) {
    return new NullPlayer(parent);
}
