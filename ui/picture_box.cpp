#include "ui/picture_box.h"

#include <QPixmap>

PictureBox::PictureBox(QWidget* parent) : QLabel(parent) {
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void PictureBox::setFit(Fit fit) {
  m_fit = fit;
  render();
}

void PictureBox::setImage(const QImage& image) {
  m_image = image;
  render();
}

void PictureBox::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  render();
}

void PictureBox::render() {
  if (m_image.isNull()) {
    clear();
    return;
  }
  const QSize room = contentsRect().size();
  if (m_fit == Fit::ShrinkToFit && !room.isEmpty() &&
      (m_image.width() > room.width() || m_image.height() > room.height())) {
    // Scale in device pixels so the picture stays sharp on high-density screens.
    const qreal ratio = devicePixelRatioF();
    QImage scaled = m_image.scaled(room * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    scaled.setDevicePixelRatio(ratio);
    setPixmap(QPixmap::fromImage(scaled));
    return;
  }
  setPixmap(QPixmap::fromImage(m_image));
}
