// The replay browser's one window: lists the replay files beside the program,
// shows the replay the user picks and the pictures of the player row picked.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include <string>

#include "replay/replay.h"

namespace myzor {
struct FullRead;
}

namespace Ui {
class Form1;
}

class Form1 : public QWidget {
  Q_OBJECT

 public:
  // `program_folder` is the folder the replay and picture folders are found
  // in; empty means the folder that holds the running program.
  explicit Form1(const QString& program_folder = QString(), QWidget* parent = nullptr);
  ~Form1() override;

  // The replay folder, always ending with a separator.
  [[nodiscard]] const QString& zorFolder() const { return zor_folder; }
  // The last replay that was read in full; cleared until the first one.
  [[nodiscard]] const zor_rep_reader::ReplayInfo& currentReplay() const { return current_replay; }

  // Runs once from the constructor: fixes the replay folder and lists its files.
  void Form_Load();
  // Reads the file selected in File1 and shows it.
  void File1_Click();
  // Shows the badge and banner of the player in the selected row.
  void list_players_ItemClick();
  // Adds one line at the end of lst_actions; lent to the reader.
  void AppendAction(const std::string& line);

  // Makes `folder` the replay folder and lists its files in File1.
  void openFolder(const QString& folder);
  // Lists the folder's files again; the selected entry stays selected (found
  // by its bytes) and is not read again.
  void listFilesAgain();
  // Selects the replay at `path` in File1 when it is one of its entries (and
  // nothing when it is not) without reading it.
  void selectReplay(const QByteArray& path);
  // Shows a replay read elsewhere as a pick in File1 shows it, selecting it there.
  void showReplay(const myzor::FullRead& read);

 signals:
  // list_players_ItemClick has shown the pictures of row k (from 1).
  void playerShown(int k);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Form_Unload(bool& cancel);
  void scaleForFont();
  void applyPictureColours();
  void listReplayFiles();
  void readAndShow(const QByteArray& path, const QString& file_name);
  void showRead(const myzor::FullRead& read, const QString& file_name);
  void showMapPicture(const QString& map_name);
  void showStatus(const QString& text);
  void updateCutOffToolTips();

  std::unique_ptr<Ui::Form1> ui;
  QString program_folder;
  QString zor_folder;
  zor_rep_reader::ReplayInfo current_replay;
  // The File1 entry the current replay was read from; empty until then.
  QString current_file;
  // The File1 row that was selected when the mouse went down on it; a click
  // on an entry that was already selected reads the file again.
  int file_row_before_press = -1;
  bool screen_watched = false;
};
