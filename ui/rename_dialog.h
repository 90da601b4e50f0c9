// Asks for a rename pattern and shows what it would do to every selected
// file before anything is renamed.
#pragma once

#include <QDialog>
#include <QString>
#include <QThreadPool>
#include <memory>
#include <vector>

#include "library/core/replay_row.h"
#include "library/files/file_operations.h"

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QTableView;
class QTimer;
class RenamePreviewModel;

class RenameDialog : public QDialog {
  Q_OBJECT

 public:
  RenameDialog(std::vector<myzor::ReplayRow> rows, const QString& pattern,
               QWidget* parent = nullptr);
  ~RenameDialog() override;

  [[nodiscard]] QString patternText() const;
  // What the preview shows now; empty while the pattern is refused.
  [[nodiscard]] const myzor::RenamePlan& plan() const { return m_plan; }
  [[nodiscard]] QTableView* preview() const { return m_preview; }

 signals:
  // The preview shows the plan for the pattern as it is now.
  void planned();

 private:
  void updatePreview();
  void showPlan(myzor::RenamePlan plan);

  const std::shared_ptr<const std::vector<myzor::ReplayRow>> m_rows;
  myzor::RenamePlan m_plan;
  QLineEdit* const m_pattern;
  QLabel* const m_error;
  QTableView* const m_preview;
  RenamePreviewModel* const m_model;
  QLabel* const m_summary;
  QDialogButtonBox* const m_buttons;
  QTimer* const m_timer;
  quint64 m_generation = 0;
  // Last, so that it waits for a plan still being made before the rest goes.
  QThreadPool m_pool;
};
