// SPDX-License-Identifier: Apache-2.0
// The Rig dialog: every fixture on the window's line, found by full discovery, in a table (UID,
// model, version, whether it runs its bootloader, a check box to choose it), a filter by model,
// and the update of the chosen fixtures one after the other through the station's rig, each
// fixture's progress and result in its row and a summary at the end. It runs on a line the main
// window has lent it; the survey and the updates run on the RigWorker's thread.
#pragma once

#include <QDialog>
#include <QString>
#include <map>
#include <memory>
#include <vector>

#include "station/line_set.h"
#include "station/rig_fixture.h"
#include "station/run_settings.h"
#include "ui/rig_worker.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace quillmont::ui {

inline constexpr const char* kRigCaption = "Quillmont - Rig";
// What Abort, Escape and the close box ask while the fixtures are being updated.
inline constexpr const char* kAbortRigQuestion =
    "Abort the update of the rig? The fixture being updated is stopped as Abort stops an update "
    "and may be left in its bootloader; the fixtures after it are not started.";

class RigDialog : public QDialog {
  Q_OBJECT

 public:
  // The columns of the table.
  enum Column { kUidColumn, kModelColumn, kVersionColumn, kBootloaderColumn, kResultColumn };

  RigDialog(LineSet& line, const RunSettings& settings, QWidget* parent = nullptr);

  // Discovers every fixture on the line again and lists them (the Rediscover button).
  void Rediscover();
  // Asks for the firmware file, then updates the chosen fixtures (the Update All button).
  void UpdateChosen();
  // The Abort button: a survey stops at once, an update after a question (No by default).
  void Abort();

  const RigWorker& worker() const { return worker_; }
  QTableWidget* table() const { return table_; }
  QString count_text() const;
  QString summary_text() const;

 public slots:
  // Escape, the close box and Close: a run under way is stopped first (an update after a
  // question), and the dialog closes once it has ended.
  void reject() override;

 private:
  void CreateControls();
  void CreateTable();
  QPushButton* Button(const QString& text, const char* name);
  void SetRunning(bool running);
  void ShowFixtures(const std::vector<RigFixture>& fixtures);
  void ShowCount(const RigPlan& plan);
  void FillFilter();
  void ApplyFilter();
  // The row of a fixture by its UID text; -1 when it is not listed.
  int RowOf(const QString& uid) const;
  void SetResult(int row, const QString& text, const QString& detail = {});
  void ShowResult(const QString& uid, const FlashResult& result);
  void OnEnded(bool update);
  void ShowSummary(const RigPlan& plan);
  // Whether the dialog may close now; a run under way is stopped first (an update after a
  // question), and the dialog closes when it has ended.
  bool MayClose();
  std::vector<RdmUid> ChosenUids() const;
  std::shared_ptr<const FirmwareFile> ChooseFile();

  RigWorker worker_;
  QTableWidget* table_ = nullptr;
  QComboBox* filter_ = nullptr;
  QLabel* count_ = nullptr;
  QLabel* summary_ = nullptr;
  QPushButton* rediscover_ = nullptr;
  QPushButton* update_ = nullptr;
  QPushButton* abort_ = nullptr;
  QPushButton* close_ = nullptr;
  std::map<QString, RdmUid> uids_;  // by the UID text of each row
  int current_row_ = -1;            // the fixture being updated
  bool close_when_ended_ = false;
};

}  // namespace quillmont::ui
