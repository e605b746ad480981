#include "photoui/imagecontrol.h"
#include "photoui/picturecontrol.h"

#include "photo/picture.h"

#include <QPainter>

namespace tessary {

ImageControl::ImageControl(QWidget *parent) : QWidget(parent)
{
}

void ImageControl::setPicture(QImage picture)
{
    BringTo24Bits(picture);
    m_picture = std::move(picture);
    m_scaled = QPixmap();
    update();
    emit pictureChanged();
}

void ImageControl::setHint(const QString &hint)
{
    m_hint = hint;
    applyToolTip();
}

void ImageControl::setShowHint(bool show)
{
    m_showHint = show;
    applyToolTip();
}

void ImageControl::applyToolTip()
{
    setToolTip(m_showHint ? m_hint : QString());
    setAccessibleDescription(m_showHint ? m_hint : QString());
}

QSize ImageControl::sizeHint() const
{
    return {kPlaceholderWidth, kPlaceholderHeight};
}

void ImageControl::resizeEvent(QResizeEvent *event)
{
    m_scaled = QPixmap();
    QWidget::resizeEvent(event);
}

void ImageControl::paintEvent(QPaintEvent *)
{
    if (m_picture.isNull() || width() <= 0 || height() <= 0)
        return;
    // Scaling a large photo on every paint is wasteful; keep the frame-sized
    // copy until the picture or the frame's size changes.
    if (m_scaled.isNull() || m_scaled.size() != size())
        m_scaled = QPixmap::fromImage(
            m_picture.scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_scaled);
}

} // namespace tessary
