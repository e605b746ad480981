#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>
#include <QWidget>

namespace tessary {

// A frame that owns one picture and shows it stretched to the frame's bounds
// (the aspect ratio is not kept), with a tooltip that can be turned on and
// off. The photo frame of the main window and the background frame of the
// layout dialog are ImageControls. The picture is kept at its real size; only
// the drawing is scaled.
class ImageControl : public QWidget
{
    Q_OBJECT

public:
    explicit ImageControl(QWidget *parent = nullptr);

    const QImage &picture() const { return m_picture; }
    // Replaces the picture (converted to 24 bits) and redraws the frame.
    void setPicture(QImage picture);

    // The tooltip text, shown only while showHint() is on.
    const QString &hint() const { return m_hint; }
    void setHint(const QString &hint);
    bool showHint() const { return m_showHint; }
    void setShowHint(bool show);

    QSize sizeHint() const override;

signals:
    void pictureChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void applyToolTip();

    QImage m_picture;
    QPixmap m_scaled; // the picture at the frame's size, made when first drawn
    QString m_hint;
    bool m_showHint = false;
};

} // namespace tessary
