// Everything one replay holds, for the row picked in the library: map
// picture, names, file, the eight settings, the seven win conditions, every
// player with both pictures, and the action line. What the row knows shows
// at once; the rest comes from a full read of that one file on a worker.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QScrollArea>
#include <QString>
#include <QThreadPool>
#include <memory>

#include "library/core/replay_row.h"

namespace myzor {
struct FullRead;
}

class NotesEditor;
class QBoxLayout;
class QFormLayout;
class QGridLayout;
class QLabel;
class QWidget;

class DetailsPane : public QScrollArea {
  Q_OBJECT

 public:
  // `program_folder` is where the map pictures are looked for, as in Form1.
  explicit DetailsPane(const QString& program_folder, QWidget* parent = nullptr);
  ~DetailsPane() override;

  // Shows `row` and starts reading its file in full; a read still running
  // for the row before is dropped when it ends.
  void showRow(const myzor::ReplayRow& row);
  void clear();
  // The file shown, or empty.
  [[nodiscard]] const QByteArray& path() const { return m_path; }
  // What the user knows of the replay shown changed elsewhere (or was kept).
  void showNotes(const myzor::ReplayNotes* notes);
  void setKnownTags(const QStringList& tags);

  // What the full read of one file gave; made on a worker thread.
  struct FullRead;

 signals:
  // The full read of the file at `read->path` has ended, well or not; what
  // else shows that replay may take it instead of reading the file again.
  void readDone(std::shared_ptr<const myzor::FullRead> read);
  // The full read of the file at `path` is on screen.
  void shown(const QByteArray& path);
  // The user edited what they know of the replay at `path`.
  void notesEdited(const QByteArray& path, const myzor::ReplayNotes& notes);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void showRead(const FullRead& read);
  void showError(const QString& kind, const QString& offset, const QString& message);
  void setPlayers(const QList<QWidget*>& cards);
  void arrangePlayers();
  void showMap(const QImage& image, const QString& why);
  void setIndicators(const QList<bool>& set);
  void setSettings(const QStringList& values);

  const QString m_program_folder;
  QByteArray m_path;
  QString m_file_name;
  quint64 m_generation = 0;
  QThreadPool m_pool;

  QLabel* m_map = nullptr;
  QImage m_map_image;
  QLabel* m_error = nullptr;
  QLabel* m_game = nullptr;
  QLabel* m_map_name = nullptr;
  QLabel* m_version = nullptr;
  QLabel* m_date = nullptr;
  QLabel* m_size = nullptr;
  QLabel* m_file = nullptr;
  QBoxLayout* m_middle = nullptr;
  QList<QLabel*> m_settings;
  QList<QLabel*> m_wins;
  QWidget* m_players_box = nullptr;
  QGridLayout* m_players_grid = nullptr;
  QList<QWidget*> m_cards;
  int m_players_columns = 0;
  QLabel* m_action = nullptr;
  NotesEditor* m_notes = nullptr;
};
