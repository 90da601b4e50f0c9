#include "ui/form1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QImageReader>
#include <QKeySequence>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QWindow>
#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <utility>
#include <vector>

#include "gfx/platform.h"
#include "library/core/full_read.h"
#include "ui/map_pictures.h"
#include "ui/picture_box.h"
#include "ui_form1.h"

namespace {

// Where a File1 entry keeps its file name's own bytes.
constexpr int kFileNameBytes = Qt::UserRole;

// Label rows are 255 twips (17 pixels) high; a font taller than that gets
// every control enlarged in proportion so no caption is cut in half.
constexpr int kDesignedTextHeight = 17;

// Widths of the player list's columns in pixels ("ID" takes none).
constexpr std::array<int, 7> kColumnWidths = {0, 100, 53, 133, 96, 96, 96};

// System colour indexes of the picture boxes.
constexpr int kColorWindow = 5;
constexpr int kColorWindowText = 8;
constexpr int kColorInactiveCaptionText = 19;

QColor systemColour(int index) {
  const gfx::COLORREF value = gfx::GetSysColor(index);
  return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>((value >> 16) & 0xFF));
}

QString fromReplayText(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Control characters shown as \xNN, so a message about a name that holds
// them says what is there.
QString visible(const QString& text) {
  QString out;
  for (const QChar c : text) {
    if (c.category() == QChar::Other_Control)
      out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
    else
      out += c;
  }
  return out;
}

}  // namespace

Form1::Form1(const QString& program_folder_in, QWidget* parent)
    : QWidget(parent),
      ui(std::make_unique<Ui::Form1>()),
      program_folder(program_folder_in.isEmpty() ? QCoreApplication::applicationDirPath()
                                                 : program_folder_in) {
  ui->setupUi(this);

  QHeaderView* header = ui->list_players->header();
  header->setSectionsMovable(false);
  for (int column = 0; column < static_cast<int>(kColumnWidths.size()); ++column)
    header->resizeSection(column, kColumnWidths[static_cast<std::size_t>(column)]);
  // The "ID" column holds each row's own text, which stays empty and unseen.
  ui->list_players->setColumnHidden(0, true);

  ui->pic_map->setFit(PictureBox::Fit::ShrinkToFit);
  applyPictureColours();
  scaleForFont();

  connect(ui->File1, &QListWidget::itemSelectionChanged, this, &Form1::File1_Click);
  ui->File1->viewport()->installEventFilter(this);
  connect(ui->File1, &QListWidget::clicked, this, [this](const QModelIndex& index) {
    // A changed selection has been read already; a click on the entry that
    // was selected before reads it again.
    if (index.row() == file_row_before_press) File1_Click();
  });
  // A click on a new row and a move with the keys both change the selection;
  // a click on the row already shown changes nothing and needs no handling.
  connect(ui->list_players, &QTreeWidget::itemSelectionChanged, this,
          &Form1::list_players_ItemClick);

  auto* quit = new QShortcut(QKeySequence::Quit, this);
  // Closes the top-level window, also when Form1 sits inside another one.
  connect(quit, &QShortcut::activated, this, [this] { window()->close(); });

  Form_Load();
  updateCutOffToolTips();
}

Form1::~Form1() = default;

void Form1::applyPictureColours() {
  const auto paint = [](QWidget* box, int background, int foreground) {
    QPalette palette = box->palette();
    palette.setColor(QPalette::Window, systemColour(background));
    palette.setColor(QPalette::WindowText, systemColour(foreground));
    box->setPalette(palette);
    box->setAutoFillBackground(true);
  };
  paint(ui->pic_map, kColorWindow, kColorWindowText);
  paint(ui->pic_badge, kColorInactiveCaptionText, kColorWindowText);
  paint(ui->pic_banner, kColorInactiveCaptionText, kColorWindowText);
}

void Form1::scaleForFont() {
  const int text_height = fontMetrics().height();
  if (text_height <= kDesignedTextHeight) return;
  const double factor = static_cast<double>(text_height) / kDesignedTextHeight;
  const auto scaled = [factor](int value) { return static_cast<int>(std::lround(value * factor)); };
  const auto scale = [&scaled](QWidget* widget) {
    const QRect r = widget->geometry();
    widget->setGeometry(scaled(r.x()), scaled(r.y()), scaled(r.width()), scaled(r.height()));
  };
  for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) scale(child);
  for (QWidget* child : ui->Frame1->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
    scale(child);
  QHeaderView* header = ui->list_players->header();
  for (int column = 1; column < static_cast<int>(kColumnWidths.size()); ++column)
    header->resizeSection(column, scaled(kColumnWidths[static_cast<std::size_t>(column)]));
  resize(scaled(width()), scaled(height()));
}

void Form1::Form_Load() {
  zor_folder = QDir(program_folder).filePath(QStringLiteral("testfiles/1.30")) + QLatin1Char('/');
  listReplayFiles();
}

void Form1::listReplayFiles() {
  ui->File1->clear();
  const QDir folder(zor_folder);
  if (!folder.exists()) {
    showStatus(tr("Replay folder not found: %1").arg(QDir::toNativeSeparators(zor_folder)));
    return;
  }
  // File names are bytes and need not be valid UTF-8, so the folder is read
  // with the bytes kept: each entry shows the name as text and keeps its
  // bytes to open. Only regular files (or links to them) that match the
  // pattern regardless of case; hidden files stay hidden.
  const QRegularExpression pattern(
      QRegularExpression::wildcardToRegularExpression(ui->File1->property("pattern").toString()),
      QRegularExpression::CaseInsensitiveOption);
  std::vector<std::pair<QString, QByteArray>> entries;
  std::error_code ec;
  for (const auto& entry :
       std::filesystem::directory_iterator(QFile::encodeName(zor_folder).toStdString(), ec)) {
    const std::string bytes = entry.path().filename().string();
    const QString name = QFile::decodeName(QByteArray::fromStdString(bytes));
    std::error_code type_ec;
    if (bytes.starts_with('.') || !pattern.match(name).hasMatch() ||
        !entry.is_regular_file(type_ec))
      continue;
    entries.emplace_back(name, QByteArray::fromStdString(bytes));
  }
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    const int order = a.first.compare(b.first, Qt::CaseInsensitive);
    return order != 0 ? order < 0 : a.second < b.second;
  });
  for (const auto& [name, bytes] : entries) {
    auto* item = new QListWidgetItem(name, ui->File1);
    item->setData(kFileNameBytes, bytes);
  }
}

void Form1::File1_Click() {
  const QList<QListWidgetItem*> selected = ui->File1->selectedItems();
  if (selected.isEmpty()) return;

  const QString file_name = selected.first()->text();
  readAndShow(QFile::encodeName(zor_folder) + selected.first()->data(kFileNameBytes).toByteArray(),
              file_name);
}

void Form1::readAndShow(const QByteArray& path_bytes, const QString& file_name) {
  showRead(myzor::ReadInFull(path_bytes), file_name);
}

void Form1::showRead(const myzor::FullRead& read, const QString& file_name) {
  // The pictures belong to a row of the list, so they go with the rows.
  ui->list_players->clear();
  ui->pic_badge->clearImage();
  ui->pic_banner->clearImage();
  // What the reader said as it went, also for a file it gave up on.
  for (const QString& line : read.actions) ui->lst_actions->addItem(line);
  if (!read.ok) {
    // The reason leaves out the path, which the report names already.
    QString report = tr("%1 could not be read: %2.").arg(file_name, read.error_reason);
    if (!current_file.isEmpty())
      report += QLatin1Char(' ') + tr("Still showing %1.").arg(current_file);
    showStatus(report);
    return;
  }
  current_replay = read.replay;
  current_file = file_name;
  showStatus(QString());

  // Rows follow the players in file order; the "ID" and "Rassenfarbe" cells stay empty.
  const int player_count = current_replay.player_count;
  const int rows = std::min(player_count, static_cast<int>(current_replay.players.size()));
  QList<QTreeWidgetItem*> items;
  items.reserve(rows);
  for (int k = 1; k <= rows; ++k) {
    const zor_rep_reader::PlayerInfo& player =
        current_replay.players[static_cast<std::size_t>(k - 1)];
    auto* row = new QTreeWidgetItem;
    row->setText(1, fromReplayText(player.name));
    row->setText(2, QString::number(player.team));
    row->setText(3, fromReplayText(player.race));
    row->setText(5, QString::number(player.block_start));
    row->setText(6, QString::number(player.block_end));
    row->setToolTip(1, row->text(1));
    row->setToolTip(3, row->text(3));
    items.append(row);
  }
  ui->list_players->addTopLevelItems(items);

  ui->lbl_map->setText(fromReplayText(current_replay.map_name));
  ui->lbl_gamename->setText(fromReplayText(current_replay.game_name));
  // A screen reader announces the labels by their names ("Map", "Game") and
  // reads what they show from the description.
  ui->lbl_map->setAccessibleDescription(ui->lbl_map->text());
  ui->lbl_gamename->setAccessibleDescription(ui->lbl_gamename->text());

  const auto tick = [](QCheckBox* box, float flag) {
    box->setChecked(std::nearbyint(flag) != 0.0f);
  };
  tick(ui->chck_annihilate, current_replay.win_annihilate);
  tick(ui->chck_control_area, current_replay.win_control_area);
  tick(ui->chck_takeandholde, current_replay.win_take_and_hold);

  showMapPicture(fromReplayText(current_replay.map_name));
  updateCutOffToolTips();
}

void Form1::openFolder(const QString& folder) {
  zor_folder = QDir::cleanPath(folder) + QLatin1Char('/');
  listReplayFiles();
}

void Form1::listFilesAgain() {
  const QList<QListWidgetItem*> selected = ui->File1->selectedItems();
  const QByteArray kept =
      selected.isEmpty() ? QByteArray() : selected.first()->data(kFileNameBytes).toByteArray();
  const int scrolled = ui->File1->verticalScrollBar()->value();
  const QSignalBlocker blocker(ui->File1);
  listReplayFiles();
  for (int row = 0; !kept.isEmpty() && row < ui->File1->count(); ++row) {
    if (ui->File1->item(row)->data(kFileNameBytes).toByteArray() == kept)
      ui->File1->setCurrentRow(row);
  }
  ui->File1->verticalScrollBar()->setValue(scrolled);
}

void Form1::selectReplay(const QByteArray& path) {
  const qsizetype slash = path.lastIndexOf('/');
  const QByteArray name = path.mid(slash + 1);
  const QSignalBlocker blocker(ui->File1);
  if (QDir(QFile::decodeName(path.left(slash + 1))) == QDir(zor_folder)) {
    for (int row = 0; row < ui->File1->count(); ++row) {
      QListWidgetItem* item = ui->File1->item(row);
      if (item->data(kFileNameBytes).toByteArray() != name) continue;
      ui->File1->setCurrentItem(item);
      return;
    }
  }
  // A file in a subfolder is not one of File1's entries.
  ui->File1->clearSelection();
}

void Form1::showReplay(const myzor::FullRead& read) {
  selectReplay(read.path);
  showRead(read, QFile::decodeName(read.path.mid(read.path.lastIndexOf('/') + 1)));
}

void Form1::showMapPicture(const QString& map_name) {
  if (!isPlainFileNamePart(map_name)) {
    ui->pic_map->clearImage();
    showStatus(tr("No map picture: the map name \"%1\" cannot be part of a file name.")
                   .arg(visible(map_name)));
    return;
  }
  const QStringList folders = mapPictureFolders(program_folder);
  const QString file = findMapPicture(folders, map_name);
  if (file.isEmpty()) {
    ui->pic_map->clearImage();
    showStatus(tr("No map picture: %1 not found in %2.")
                   .arg(visible(map_name + QStringLiteral(".gif")),
                        QDir::toNativeSeparators(folders.join(QStringLiteral(", ")))));
    return;
  }
  QImageReader reader(file);
  const QImage image = reader.read();
  if (image.isNull()) {
    ui->pic_map->clearImage();
    showStatus(tr("No map picture: %1 cannot be read: %2.")
                   .arg(QDir::toNativeSeparators(file), reader.errorString()));
    return;
  }
  ui->pic_map->setImage(image);
}

void Form1::list_players_ItemClick() {
  const QList<QTreeWidgetItem*> selected = ui->list_players->selectedItems();
  if (selected.isEmpty()) return;
  const int k = ui->list_players->indexOfTopLevelItem(selected.first()) + 1;
  if (k < 1 || k > static_cast<int>(current_replay.players.size())) return;
  const zor_rep_reader::PlayerInfo& player =
      current_replay.players[static_cast<std::size_t>(k - 1)];
  // A player without a picture empties the box rather than leaving the
  // previous player's picture beside this one's row.
  ui->pic_badge->setImage(player.badge ? player.badge->image() : QImage());
  ui->pic_banner->setImage(player.banner ? player.banner->image() : QImage());
  emit playerShown(k);
}

void Form1::AppendAction(const std::string& line) {
  ui->lst_actions->addItem(fromReplayText(line));
  ui->lst_actions->scrollToBottom();
}

void Form1::Form_Unload(bool& cancel) {
  // Closing always goes ahead; nothing is asked and nothing is saved.
  Q_UNUSED(cancel);
}

void Form1::closeEvent(QCloseEvent* event) {
  bool cancel = false;
  Form_Unload(cancel);
  if (cancel)
    event->ignore();
  else
    event->accept();
}

void Form1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!screen_watched && windowHandle() != nullptr) {
    screen_watched = true;
    connect(windowHandle(), &QWindow::screenChanged, this, [this] {
      ui->pic_map->refresh();
      ui->pic_badge->refresh();
      ui->pic_banner->refresh();
    });
  }
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui->File1->viewport() && event->type() == QEvent::MouseButtonPress) {
    const QList<QListWidgetItem*> selected = ui->File1->selectedItems();
    file_row_before_press = selected.isEmpty() ? -1 : ui->File1->row(selected.first());
  }
  return QWidget::eventFilter(watched, event);
}

void Form1::showStatus(const QString& text) {
  ui->lbl_status->setText(text);
  updateCutOffToolTips();
}

void Form1::updateCutOffToolTips() {
  for (QLabel* label : findChildren<QLabel*>()) {
    if (qobject_cast<PictureBox*>(label) != nullptr) continue;
    const QRect room = label->contentsRect();
    const QString text = label->text();
    const bool cut_off = label->wordWrap()
                             ? label->heightForWidth(room.width()) > room.height()
                             : label->fontMetrics().horizontalAdvance(text) > room.width();
    label->setToolTip(cut_off ? text : QString());
  }
}
