#include "ui/rename_dialog.h"

#include <QAbstractTableModel>
#include <QBrush>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <utility>

#include "library/files/rename_pattern.h"
#include "ui/signal_colour.h"

using myzor::RenameState;

// The plan as a table: current name, new name, and what is special about it.
class RenamePreviewModel : public QAbstractTableModel {
 public:
  using QAbstractTableModel::QAbstractTableModel;

  void setPlan(const myzor::RenamePlan* plan) {
    beginResetModel();
    m_plan = plan;
    endResetModel();
  }
  [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() || m_plan == nullptr ? 0 : static_cast<int>(m_plan->files.size());
  }
  [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : 3;
  }
  [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                    int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    const QString titles[] = {tr("Current name"), tr("New name"), tr("Note")};
    return titles[section];
  }
  [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override {
    const myzor::PlannedRename& file = m_plan->files[static_cast<std::size_t>(index.row())];
    if (role == Qt::ForegroundRole && index.column() > 0) {
      switch (file.state) {
        case RenameState::ok:
          return {};
        case RenameState::unchanged:
          return QGuiApplication::palette().brush(QPalette::PlaceholderText);
        case RenameState::clash:
          return myzor::SignalColour(QGuiApplication::palette(), myzor::Signal::warning);
        case RenameState::error:
          return myzor::SignalColour(QGuiApplication::palette(), myzor::Signal::error);
      }
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    switch (index.column()) {
      case 0:
        return myzor::DisplayName(file.old_path.mid(file.old_path.lastIndexOf('/') + 1));
      case 1:
        return QString::fromUtf8(file.new_name);
      default:
        return note(file);
    }
  }

 private:
  [[nodiscard]] static QString note(const myzor::PlannedRename& file) {
    switch (file.state) {
      case RenameState::ok:
        return {};
      case RenameState::unchanged:
        return tr("unchanged");
      case RenameState::clash:
        return tr("name taken: numbered");
      case RenameState::error:
        return tr("left alone: %1").arg(file.reason);
    }
    return {};
  }

  const myzor::RenamePlan* m_plan = nullptr;
};

namespace {

QString problemText(const myzor::PatternError& error) {
  using Problem = myzor::PatternError::Problem;
  const int at = static_cast<int>(error.position) + 1;
  switch (error.problem) {
    case Problem::empty:
      return RenameDialog::tr("the pattern is empty");
    case Problem::close_without_open:
      return RenameDialog::tr("'}' at %1 has no '{' before it").arg(at);
    case Problem::open_without_close:
      return RenameDialog::tr("'{' at %1 has no '}' after it").arg(at);
    case Problem::unknown_field:
      return RenameDialog::tr(
                 "unknown field {%1}; the fields are {game}, {map}, {players}, {teams}, {races}, "
                 "{version}, {count}, {date}, {time}, {n}, {n:3} and {file}")
          .arg(error.field);
    case Problem::width_not_allowed:
      return RenameDialog::tr("{%1} takes no width; only {n} does, as {n:3}").arg(error.field);
    case Problem::bad_width:
      return RenameDialog::tr("the width in {%1} must be a number from 1 to 9").arg(error.field);
  }
  return {};
}

}  // namespace

RenameDialog::RenameDialog(std::vector<myzor::ReplayRow> rows, const QString& pattern,
                           QWidget* parent)
    : QDialog(parent),
      m_rows(std::make_shared<const std::vector<myzor::ReplayRow>>(std::move(rows))),
      m_pattern(new QLineEdit(pattern, this)),
      m_error(new QLabel(this)),
      m_preview(new QTableView(this)),
      m_model(new RenamePreviewModel(this)),
      m_summary(new QLabel(this)),
      m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)),
      m_timer(new QTimer(this)) {
  setObjectName(QStringLiteral("dlg_rename"));
  setWindowTitle(tr("Rename by pattern"));
  setAccessibleName(tr("Rename by pattern"));

  m_pattern->setObjectName(QStringLiteral("txt_pattern"));
  m_pattern->setAccessibleName(tr("Pattern"));
  m_pattern->setToolTip(
      tr("The new name of each file; the fields in braces are filled from the replay"));
  auto* fields = new QLabel(tr("Fields: {date} {time} {map} {game} {players} {teams} {races} "
                               "{version} {count} {n} {n:3} {file}"),
                            this);
  fields->setObjectName(QStringLiteral("lbl_fields"));
  fields->setWordWrap(true);
  fields->setTextInteractionFlags(Qt::TextSelectableByMouse);
  fields->setToolTip(
      tr("{date}, {time}: the file's modification time (2026-12-06, 21-05)\n"
         "{map}, {game}, {version}: from the replay\n"
         "{players}: names in file order; {teams}: \"A & B vs C & D\"; {races}; {count}: players\n"
         "{n}: 1, 2, … in the order shown; {n:3}: 001, 002, …\n"
         "{file}: the current name without .rec"));

  m_error->setObjectName(QStringLiteral("lbl_pattern_error"));
  m_error->setAccessibleName(tr("Pattern error"));
  m_error->setWordWrap(true);
  QPalette error_palette = m_error->palette();
  error_palette.setColor(QPalette::WindowText,
                         myzor::SignalColour(error_palette, myzor::Signal::error));
  m_error->setPalette(error_palette);
  m_error->hide();

  m_preview->setObjectName(QStringLiteral("tbl_rename_preview"));
  m_preview->setAccessibleName(tr("New names"));
  m_preview->setModel(m_model);
  m_preview->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_preview->setTabKeyNavigation(false);
  m_preview->setWordWrap(false);
  m_preview->verticalHeader()->hide();
  m_preview->horizontalHeader()->setStretchLastSection(true);
  m_preview->horizontalHeader()->resizeSection(0, 220);
  m_preview->horizontalHeader()->resizeSection(1, 300);

  m_summary->setObjectName(QStringLiteral("lbl_rename_summary"));
  m_summary->setAccessibleName(tr("Rename summary"));

  QPushButton* ok = m_buttons->button(QDialogButtonBox::Ok);
  ok->setText(tr("Rename"));
  ok->setAccessibleName(tr("Rename"));
  m_buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(tr("Cancel"));
  connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* form = new QFormLayout;
  form->addRow(tr("&Pattern:"), m_pattern);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(fields);
  layout->addWidget(m_error);
  layout->addWidget(m_preview, 1);
  layout->addWidget(m_summary);
  layout->addWidget(m_buttons);
  resize(760, 460);

  // Planning looks at the folder for every file, so a burst of typing plans once.
  m_timer->setSingleShot(true);
  m_timer->setInterval(150);
  connect(m_timer, &QTimer::timeout, this, &RenameDialog::updatePreview);
  connect(m_pattern, &QLineEdit::textChanged, this, [this] {
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
    m_timer->start();
  });
  updatePreview();
  m_pattern->setFocus();
  m_pattern->selectAll();
}

RenameDialog::~RenameDialog() = default;

QString RenameDialog::patternText() const { return m_pattern->text(); }

void RenameDialog::updatePreview() {
  myzor::PatternError error;
  const std::optional<myzor::RenamePattern> pattern =
      myzor::RenamePattern::parse(m_pattern->text(), &error);
  const quint64 generation = ++m_generation;
  m_error->setVisible(!pattern);
  m_buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
  if (!pattern) {
    m_plan = {};
    m_model->setPlan(&m_plan);
    m_error->setText(tr("Character %1: %2").arg(error.position + 1).arg(problemText(error)));
    m_summary->clear();
    return;
  }
  // Planning looks at the folder of every file, so it runs on a worker; a
  // plan for a pattern typed over since is dropped.
  m_summary->setText(tr("Looking at the folders…"));
  auto* watcher = new QFutureWatcher<myzor::RenamePlan>(this);
  connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
    watcher->deleteLater();
    if (generation == m_generation) showPlan(watcher->result());
  });
  watcher->setFuture(QtConcurrent::run(
      &m_pool, [rows = m_rows, pattern = *pattern] { return myzor::PlanRename(*rows, pattern); }));
}

void RenameDialog::showPlan(myzor::RenamePlan plan) {
  m_plan = std::move(plan);
  m_model->setPlan(&m_plan);
  int counts[4] = {};
  for (const myzor::PlannedRename& file : m_plan.files) ++counts[static_cast<int>(file.state)];
  const int renamed =
      counts[static_cast<int>(RenameState::ok)] + counts[static_cast<int>(RenameState::clash)];
  m_summary->setText(tr("%1 of %2 files get a new name; %3 numbered because the name is taken, "
                        "%4 unchanged, %5 left alone")
                         .arg(renamed)
                         .arg(m_plan.files.size())
                         .arg(counts[static_cast<int>(RenameState::clash)])
                         .arg(counts[static_cast<int>(RenameState::unchanged)])
                         .arg(counts[static_cast<int>(RenameState::error)]));
  m_buttons->button(QDialogButtonBox::Ok)->setEnabled(renamed > 0);
  emit planned();
}
