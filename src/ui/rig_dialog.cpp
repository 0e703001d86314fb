// SPDX-License-Identifier: Apache-2.0
#include "ui/rig_dialog.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <set>

#include "app/updater_window.h"
#include "rdm/fixture_text.h"
#include "ui/qt_window_port.h"
#include "update/image_analysis.h"
#include "update/srec2.h"

namespace quillmont::ui {
namespace {

constexpr const char* kAllModels = "All models";
constexpr const char* kModelNotTold = "(not told)";

QString Shown(const std::string& text) {
  return QString::fromStdString(WindowText(text));
}

QString ModelOf(const RigFixture& fixture) {
  return fixture.model.empty() ? QLatin1String(kModelNotTold) : Shown(fixture.model);
}

QString Fixtures(int count) {
  return QString::number(count) +
         (count == 1 ? QStringLiteral(" fixture") : QStringLiteral(" fixtures"));
}

// A question with Yes and No, No the default (Enter and Escape answer No).
bool AskYesNo(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Question, QtWindowPort::MessageBoxCaption(), text,
                  QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void Tell(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QtWindowPort::MessageBoxCaption(), text, QMessageBox::Ok,
                  parent);
  box.exec();
}

}  // namespace

RigDialog::RigDialog(LineSet& line, const RunSettings& settings, QWidget* parent)
    : QDialog(parent), worker_(line, settings) {
  setObjectName(QStringLiteral("RigDialog"));
  setWindowTitle(QLatin1String(kRigCaption));
  CreateControls();
  // An update's own survey lists the line afresh, the chosen fixtures waiting for their turn (a
  // plain survey's list comes with its end).
  connect(&worker_, &RigWorker::Surveyed, this, [this](const std::vector<RigFixture>& fixtures) {
    if (!worker_.updating())
      return;
    ShowFixtures(fixtures);
    for (const RigFixture& fixture : fixtures) {
      if (fixture.ToUpdate())
        SetResult(RowOf(QString::fromStdString(fixture.uid_text)), QStringLiteral("waiting"));
    }
  });
  connect(&worker_, &RigWorker::FixtureBegins, this, [this](const QString& uid, int n, int total) {
    current_row_ = RowOf(uid);
    SetResult(current_row_, QStringLiteral("updating (%1 of %2)").arg(n).arg(total));
  });
  connect(&worker_, &RigWorker::FixtureProgress, this, [this](int percent) {
    SetResult(current_row_, QStringLiteral("updating: %1 %").arg(percent));
  });
  connect(&worker_, &RigWorker::FixtureResult, this, &RigDialog::ShowResult);
  connect(&worker_, &RigWorker::Warning, this,
          [this](const QString& text) { summary_->setText(text); });
  connect(&worker_, &RigWorker::Ended, this, &RigDialog::OnEnded);
}

void RigDialog::CreateControls() {
  rediscover_ = Button(QStringLiteral("Re&discover"), "RigRediscoverButton");
  count_ = new QLabel(this);
  count_->setObjectName(QStringLiteral("RigCount"));
  count_->setTextFormat(Qt::PlainText);
  filter_ = new QComboBox(this);
  filter_->setObjectName(QStringLiteral("RigModelFilter"));
  filter_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  filter_->setMinimumContentsLength(20);  // a steady width, whatever the models
  auto* filter_label = new QLabel(QStringLiteral("&Model:"), this);
  filter_label->setBuddy(filter_);
  auto* top = new QHBoxLayout;
  top->addWidget(rediscover_);
  top->addWidget(count_, 1);
  top->addWidget(filter_label);
  top->addWidget(filter_);

  CreateTable();
  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("RigSummary"));
  summary_->setTextFormat(Qt::PlainText);
  summary_->setWordWrap(true);

  update_ = Button(QStringLiteral("&Update All..."), "RigUpdateButton");
  abort_ = Button(QStringLiteral("&Abort"), "RigAbortButton");
  close_ = Button(QStringLiteral("&Close"), "RigCloseButton");
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(update_);
  bottom->addWidget(abort_);
  bottom->addStretch(1);
  bottom->addWidget(close_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(table_, 1);
  layout->addWidget(summary_);
  layout->addLayout(bottom);
  resize(760, 380);

  connect(rediscover_, &QPushButton::clicked, this, &RigDialog::Rediscover);
  connect(update_, &QPushButton::clicked, this, &RigDialog::UpdateChosen);
  connect(abort_, &QPushButton::clicked, this, &RigDialog::Abort);
  connect(close_, &QPushButton::clicked, this, &RigDialog::close);
  connect(filter_, &QComboBox::currentIndexChanged, this, &RigDialog::ApplyFilter);
  SetRunning(false);
}

// A button that Enter does not press: Enter in the table must not start or stop anything.
QPushButton* RigDialog::Button(const QString& text, const char* name) {
  auto* button = new QPushButton(text, this);
  button->setObjectName(QLatin1String(name));
  button->setAutoDefault(false);
  return button;
}

void RigDialog::CreateTable() {
  table_ = new QTableWidget(0, 5, this);
  table_->setObjectName(QStringLiteral("RigTable"));
  table_->setHorizontalHeaderLabels({QStringLiteral("UID"), QStringLiteral("Model"),
                                     QStringLiteral("Version"), QStringLiteral("In bootloader"),
                                     QStringLiteral("Update")});
  table_->verticalHeader()->hide();
  table_->setSelectionMode(QAbstractItemView::NoSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setWordWrap(false);
  table_->horizontalHeader()->setSectionResizeMode(kResultColumn, QHeaderView::Stretch);
}

void RigDialog::SetRunning(bool running) {
  rediscover_->setEnabled(!running);
  update_->setEnabled(!running && table_->rowCount() > 0);
  filter_->setEnabled(!running);
  abort_->setEnabled(running);
  for (int row = 0; row < table_->rowCount(); ++row) {
    QTableWidgetItem* item = table_->item(row, kUidColumn);
    const Qt::ItemFlags flags = item->flags();
    item->setFlags(running ? flags & ~Qt::ItemIsUserCheckable : flags | Qt::ItemIsUserCheckable);
  }
}

void RigDialog::Rediscover() {
  if (worker_.busy())
    return;
  table_->setRowCount(0);
  uids_.clear();
  count_->setText(QStringLiteral("Looking for fixtures on the line..."));
  summary_->clear();
  SetRunning(true);
  worker_.Survey();
}

// Every fixture the survey found, in the order of the run; the check boxes of a fixture still
// listed keep their state.
void RigDialog::ShowFixtures(const std::vector<RigFixture>& fixtures) {
  std::set<QString> unchecked;
  for (int row = 0; row < table_->rowCount(); ++row) {
    if (table_->item(row, kUidColumn)->checkState() != Qt::Checked)
      unchecked.insert(table_->item(row, kUidColumn)->text());
  }
  table_->setRowCount(0);
  uids_.clear();
  for (const RigFixture& fixture : fixtures) {
    const int row = table_->rowCount();
    table_->insertRow(row);
    const QString uid = QString::fromStdString(fixture.uid_text);
    auto* check = new QTableWidgetItem(uid);
    check->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    check->setCheckState(unchecked.count(uid) != 0 ? Qt::Unchecked : Qt::Checked);
    table_->setItem(row, kUidColumn, check);
    table_->setItem(row, kModelColumn, new QTableWidgetItem(ModelOf(fixture)));
    table_->setItem(row, kVersionColumn, new QTableWidgetItem(Shown(fixture.version)));
    table_->setItem(row, kBootloaderColumn,
                    new QTableWidgetItem(fixture.in_bootloader ? QStringLiteral("yes")
                                         : fixture.answered    ? QStringLiteral("no")
                                                               : QStringLiteral("no answer")));
    table_->setItem(row, kResultColumn, new QTableWidgetItem);
    uids_[uid] = fixture.uid;
  }
  for (const int column : {kUidColumn, kModelColumn, kVersionColumn, kBootloaderColumn})
    table_->resizeColumnToContents(column);
  FillFilter();
}

void RigDialog::FillFilter() {
  const QString chosen = filter_->currentText();
  QSignalBlocker quiet(filter_);
  filter_->clear();
  filter_->addItem(QLatin1String(kAllModels));
  std::set<QString> models;
  for (int row = 0; row < table_->rowCount(); ++row)
    models.insert(table_->item(row, kModelColumn)->text());
  for (const QString& model : models)
    filter_->addItem(model);
  filter_->setCurrentIndex(std::max(0, filter_->findText(chosen)));
  ApplyFilter();
}

// Rows of other models are hidden, and a hidden fixture is not updated.
void RigDialog::ApplyFilter() {
  const bool all = filter_->currentIndex() <= 0;
  for (int row = 0; row < table_->rowCount(); ++row) {
    table_->setRowHidden(row,
                         !all && table_->item(row, kModelColumn)->text() != filter_->currentText());
  }
}

int RigDialog::RowOf(const QString& uid) const {
  for (int row = 0; row < table_->rowCount(); ++row) {
    if (table_->item(row, kUidColumn)->text() == uid)
      return row;
  }
  return -1;
}

void RigDialog::SetResult(int row, const QString& text, const QString& detail) {
  if (row < 0 || row >= table_->rowCount())
    return;
  QTableWidgetItem* item = table_->item(row, kResultColumn);
  item->setText(text);
  item->setToolTip(detail);
}

// A fixture that answered from its new application runs it now: its row says so.
void RigDialog::ShowResult(const QString& uid, const FlashResult& result) {
  const int row = RowOf(uid);
  SetResult(row, QLatin1String(VerdictName(result.verdict)), Shown(result.detail));
  if (row >= 0 && result.succeeded()) {
    if (!result.version_after.empty())
      table_->item(row, kVersionColumn)->setText(Shown(result.version_after));
    table_->item(row, kBootloaderColumn)->setText(QStringLiteral("no"));
  }
}

std::vector<RdmUid> RigDialog::ChosenUids() const {
  std::vector<RdmUid> chosen;
  for (int row = 0; row < table_->rowCount(); ++row) {
    const QTableWidgetItem* item = table_->item(row, kUidColumn);
    if (!table_->isRowHidden(row) && item->checkState() == Qt::Checked)
      chosen.push_back(uids_.at(item->text()));
  }
  return chosen;
}

// The firmware file, read, loaded and checked as the window checks it; null when the operator
// cancelled or the file cannot be flashed (told).
std::shared_ptr<const FirmwareFile> RigDialog::ChooseFile() {
  const FileDialogRequest request;
  QFileDialog files(this, QString::fromStdString(request.title),
                    QString::fromStdString(request.initial_directory));
  files.setObjectName(QStringLiteral("FirmwareFileDialog"));
  files.setNameFilters(
      {QStringLiteral("%1 (%2)").arg(QString::fromStdString(request.filter_text),
                                     QString::fromStdString(request.filter_pattern)),
       QStringLiteral("All files (*)")});
  files.setOption(QFileDialog::HideNameFilterDetails);
  files.setAcceptMode(QFileDialog::AcceptOpen);
  files.setFileMode(QFileDialog::ExistingFile);
  if (files.exec() != QDialog::Accepted || files.selectedFiles().isEmpty() ||
      !QFileInfo(files.selectedFiles().constFirst()).isFile())
    return nullptr;
  Result<FirmwareFile> file =
      LoadFirmwareFile(QFile::encodeName(files.selectedFiles().constFirst()).toStdString());
  Status flashable = file ? CheckErased(*file) : Status(file.error());
  if (!flashable) {
    Tell(this, QString::fromStdString(flashable.error().message));
    return nullptr;
  }
  // A file that may be cut short, or one without signature, goes only after a Yes, as the
  // window's Update button asks.
  std::string doubts;
  if (!file->complete())
    doubts = FileEndingText(file->loaded->file_ending) + "\n\n";
  if (!file->has_signature())
    doubts += std::string(kNoSignatureWarning) + "\n\n";
  if (!doubts.empty() &&
      !AskYesNo(this, QString::fromStdString(doubts) + QLatin1String(kFlashAnywayQuestion)))
    return nullptr;
  return std::make_shared<const FirmwareFile>(std::move(*file));
}

void RigDialog::UpdateChosen() {
  if (worker_.busy())
    return;
  std::vector<RdmUid> chosen = ChosenUids();
  if (chosen.empty()) {
    Tell(this, QStringLiteral("No fixture is chosen: tick the fixtures to update."));
    return;
  }
  std::shared_ptr<const FirmwareFile> file = ChooseFile();
  if (file == nullptr)
    return;
  for (int row = 0; row < table_->rowCount(); ++row) {
    const bool waits =
        !table_->isRowHidden(row) && table_->item(row, kUidColumn)->checkState() == Qt::Checked;
    SetResult(row, waits ? QStringLiteral("waiting") : QString());
  }
  current_row_ = -1;
  summary_->setText(QStringLiteral("Looking for the fixtures on the line again..."));
  SetRunning(true);
  worker_.Update(std::move(file), std::move(chosen));
}

void RigDialog::Abort() {
  if (!worker_.busy() || worker_.stop_requested())
    return;
  if (worker_.updating() && !AskYesNo(this, QLatin1String(kAbortRigQuestion)))
    return;
  if (worker_.busy()) {  // it may have ended while the question was open
    worker_.Stop();
    summary_->setText(QStringLiteral("Stopping..."));
  }
}

void RigDialog::OnEnded(bool update) {
  current_row_ = -1;
  const RigPlan& plan = worker_.plan();
  if (!update) {
    std::vector<RigFixture> fixtures;
    for (const RigEntry& entry : plan.entries)
      fixtures.push_back(entry.fixture);
    ShowFixtures(fixtures);
    ShowCount(plan);
  } else {
    if (plan.refusal == RigRefusal::kNone)
      ShowCount(plan);
    ShowSummary(plan);
  }
  SetRunning(false);
  if (close_when_ended_)
    done(QDialog::Rejected);
}

void RigDialog::ShowCount(const RigPlan& plan) {
  if (plan.refusal == RigRefusal::kNoAdapter) {
    count_->setText(QString::fromStdString(plan.detail));
    return;
  }
  QString text = plan.found == 0 ? QStringLiteral("No fixture found on the line.")
                                 : Fixtures(plan.found) + QStringLiteral(" found on the line.");
  if (plan.stopped)
    text = QStringLiteral("The discovery was stopped: ") + Fixtures(plan.found) +
           QStringLiteral(" found so far.");
  else if (!plan.complete)
    text += QStringLiteral(" The discovery did not finish: there may be more.");
  count_->setText(text);
}

void RigDialog::ShowSummary(const RigPlan& plan) {
  if (plan.refusal != RigRefusal::kNone) {
    summary_->setText(QString::fromStdString(plan.detail));
    return;
  }
  int chosen = 0;
  int updated = 0;
  int not_started = 0;
  for (const RigEntry& entry : plan.entries) {
    if (!entry.fixture.selected)
      continue;
    ++chosen;
    updated += entry.result.succeeded() ? 1 : 0;
    not_started += entry.result.verdict == FlashVerdict::kNotStarted ? 1 : 0;
    ShowResult(QString::fromStdString(entry.fixture.uid_text), entry.result);
  }
  const int failed = chosen - updated - not_started;
  QString text = QStringLiteral("%1 of %2 updated").arg(updated).arg(Fixtures(chosen));
  if (failed > 0)
    text += QStringLiteral(", %1 failed").arg(failed);
  if (not_started > 0)
    text += QStringLiteral(", %1 not started").arg(not_started);
  text += plan.stopped || worker_.stop_requested() ? QStringLiteral(": the update was aborted.")
                                                   : QStringLiteral(".");
  summary_->setText(text);
}

bool RigDialog::MayClose() {
  if (!worker_.busy())
    return true;
  if (worker_.updating() && !worker_.stop_requested() &&
      !AskYesNo(this, QLatin1String(kAbortRigQuestion)))
    return false;
  if (!worker_.busy())
    return true;
  worker_.Stop();
  close_when_ended_ = true;
  summary_->setText(QStringLiteral("Stopping..."));
  return false;
}

void RigDialog::reject() {
  if (MayClose())
    QDialog::reject();
}

QString RigDialog::count_text() const {
  return count_->text();
}

QString RigDialog::summary_text() const {
  return summary_->text();
}

}  // namespace quillmont::ui
