#include "presentation/MenuScale.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>

#include <algorithm>

namespace korsa {

namespace {

// The desktop's own style, with the menu bar's margins and the room around its items scaled.
class ScaledMenuBarStyle : public QProxyStyle
{
public:
    explicit ScaledMenuBarStyle(double ratio) : ratio_(ratio) {}
    void SetRatio(double ratio) { ratio_ = ratio; }
    void SetExtraHeight(int extra) { extra_ = extra; }

    int pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const override
    {
        const int value = QProxyStyle::pixelMetric(metric, option, widget);
        switch (metric) {
        case PM_MenuBarPanelWidth:
        case PM_MenuBarItemSpacing:
        case PM_MenuBarHMargin:
        case PM_MenuBarVMargin:
            return qRound(value * ratio_);
        default:
            return value;
        }
    }

    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &contents,
                           const QWidget *widget) const override
    {
        const QSize size = QProxyStyle::sizeFromContents(type, option, contents, widget);
        return type == CT_MenuBarItem ? contents + (size - contents) * ratio_ + QSize(0, extra_) : size;
    }

private:
    double ratio_;
    int extra_ = 0;
};

QFont Scaled(QFont font, double ratio)
{
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * ratio);
    else
        font.setPixelSize(std::max(1, qRound(font.pixelSize() * ratio)));
    return font;
}

} // namespace

void ScaleMenus(QMenuBar *bar, double ratio, int leastHeight)
{
    // The menus open as windows of their own, so they do not take the bar's font. Each is scaled
    // from the desktop's own font for its kind, so scaling again does not add up.
    QList<QWidget *> menus{bar};
    for (QMenu *menu : bar->findChildren<QMenu *>())
        menus << menu;
    QList<QFont> fonts;
    for (const QWidget *menu : menus)
        fonts << Scaled(QApplication::font(menu), ratio);
    auto *scaled = dynamic_cast<ScaledMenuBarStyle *>(bar->style());
    if (scaled) {
        scaled->SetRatio(ratio);
        scaled->SetExtraHeight(0);
    } else {
        // A widget does not own its style: the bar's container keeps it, and, made after the bar,
        // lets it go only after the bar.
        scaled = new ScaledMenuBarStyle(ratio);
        scaled->setParent(bar->parentWidget() ? static_cast<QObject *>(bar->parentWidget()) : bar);
        bar->setStyle(scaled);
    }
    for (qsizetype k = 0; k < menus.size(); ++k)
        menus[k]->setFont(fonts[k]);
    // The bar measures its items again on a change of style, with the style's new margins; the
    // items are made taller where the bar must be.
    QEvent restyled(QEvent::StyleChange);
    QCoreApplication::sendEvent(bar, &restyled);
    if (const int short_ = leastHeight - bar->sizeHint().height(); short_ > 0) {
        scaled->SetExtraHeight(short_);
        QCoreApplication::sendEvent(bar, &restyled);
    }
}

} // namespace korsa
