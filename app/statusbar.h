#pragma once
// A status bar of fixed-width text panels (ConnectStatus): panel texts are set
// and read by number; a "simple text" replaces all panels while it is set.

#include <QWidget>
#include <vector>

namespace vandrex {

class TStatusBar : public QWidget {
    Q_OBJECT
public:
    struct Panel {
        int width;
        Qt::Alignment alignment;
        QString text;
    };

    explicit TStatusBar(QWidget* parent = nullptr);
    void addPanel(int width, Qt::Alignment alignment, const QString& text);
    int panelCount() const { return static_cast<int>(panels_.size()); }
    QString panelText(int index) const;
    void setPanelText(int index, const QString& text);
    int panelWidth(int index) const;
    // SimpleText / SimplePanel of the desktop status bar.
    void setSimpleText(const QString& text);
    QString simpleText() const { return simpleText_; }
    void setSimplePanel(bool on);
    bool simplePanel() const { return simplePanel_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::vector<Panel> panels_;
    QString simpleText_;
    bool simplePanel_ = false;
};

}  // namespace vandrex
