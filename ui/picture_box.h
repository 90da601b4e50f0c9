// A picture box: a framed label that shows one image. It keeps the image it
// was given so it can draw it again when its size or screen changes.
#pragma once

#include <QImage>
#include <QLabel>

class PictureBox : public QLabel {
  Q_OBJECT

 public:
  // Natural: the image is drawn at its own size from the top-left corner, cut
  // off at the box's edges. ShrinkToFit: an image larger than the box is
  // scaled down to fit, keeping its aspect ratio; a smaller one is never
  // scaled up.
  enum class Fit { Natural, ShrinkToFit };

  explicit PictureBox(QWidget* parent = nullptr);

  [[nodiscard]] Fit fit() const { return m_fit; }
  void setFit(Fit fit);

  // The image as given (not the scaled copy on screen); null when the box is empty.
  [[nodiscard]] const QImage& image() const { return m_image; }
  // A null image empties the box.
  void setImage(const QImage& image);
  void clearImage() { setImage(QImage()); }
  // Draws the image again, e.g. after the window moved to a screen of another scale.
  void refresh() { render(); }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void render();

  QImage m_image;
  Fit m_fit = Fit::Natural;
};
