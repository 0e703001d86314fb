// SPDX-License-Identifier: Apache-2.0
#include "ui/qt_window_host.h"

#include "app/control_ids.h"
#include "app/updater_window.h"

namespace quillmont::ui {

namespace {

void OnButton(UpdaterWindow& window, int id) {
  switch (id) {
    case kExitButton:
      window.OnExitButton();
      break;
    case kCancelButton:
      window.OnCancel();
      break;
    case kUpdateButton:
      window.OnUpdateButton();
      break;
    case kDiscoverButton:
      window.OnDiscoverButton();
      break;
    case kIdentifyButton:
      window.OnIdentifyButton();
      break;
    case kStopIdentifyButton:
      window.OnStopIdentifyButton();
      break;
    case kRefreshButton:
      window.OnRefreshButton();
      break;
    case kSetAddressButton:
      window.OnSetAddressButton();
      break;
    default:
      break;
  }
}

}  // namespace

QtWindowHost::QtWindowHost() : port_(dialog_) {}

void QtWindowHost::Bind(UpdaterWindow& window) {
  Unbind();
  if (station_ != nullptr) {
    station_->Attach(window);
  }
  if (pacing_) {
    window.desktop_window = true;
    window.receive_between_ticks = *pacing_ == Pacing::kEvent;
  }
  UpdaterWindow* target = &window;
  bound_ = target;
  UpdaterDialog* dialog = &dialog_;
  // The controls follow the core's own state after every tick and every click: an update starts
  // on a click and ends on a tick, a click, or however else the core ends it.
  const auto follow = [target, dialog] { dialog->SetUpdateRunning(target->job.running()); };
  connections_ = {
      QObject::connect(&dialog_, &UpdaterDialog::ButtonClicked,
                       [this, target, follow](int id) {
                         if (id == kRigButton)
                           OpenRigDialog();
                         OnButton(*target, id);
                         follow();
                       }),
      QObject::connect(&dialog_, &UpdaterDialog::ButtonKeyed,
                       [target, follow](int) {
                         target->OnUpdateButtonKey();
                         follow();
                       }),
      QObject::connect(&dialog_, &UpdaterDialog::UidEditedByOperator,
                       [target] { target->OnUidChanged(); }),
      QObject::connect(&dialog_, &UpdaterDialog::SubDeviceDelta,
                       [target](int delta) { target->OnSubDeviceDelta(delta); }),
      QObject::connect(&dialog_, &UpdaterDialog::BaudSelected,
                       [target] { target->OnBaudChanged(); }),
      QObject::connect(&dialog_, &UpdaterDialog::CloseRequested,
                       [target, follow] {
                         target->OnClose();
                         follow();
                       }),
      QObject::connect(&dialog_, &UpdaterDialog::SystemCommand,
                       [target](int command) { target->OnSystemCommand(command); }),
  };
  port_.SetTickHandler([target, follow] {
    target->OnTick(kTickTimerId);
    follow();
  });
  port_.SetLineWatchHandler([target, follow] {
    target->OnTick(kLineWatchTimerId);
    follow();
  });
}

void QtWindowHost::Unbind() {
  if (rig_ != nullptr) {
    // The window ends under the dialog: its run is stopped and waited for here.
    rig_->disconnect(&dialog_);
    delete rig_;
    dialog_.SetLineLent(false);
    if (bound_ != nullptr)
      bound_->ReturnLine();
  }
  for (const QMetaObject::Connection& connection : connections_)
    QObject::disconnect(connection);
  connections_.clear();
  bound_ = nullptr;
  port_.SetTickHandler({});
  port_.SetLineWatchHandler({});
  port_.StopAllTimers();
  if (station_ != nullptr) {
    station_->Detach();
  }
}

void QtWindowHost::OpenRigDialog() {
  if (station_ == nullptr || bound_ == nullptr || rig_ != nullptr || !bound_->LendLine())
    return;
  dialog_.SetLineLent(true);
  rig_ = new RigDialog(station_->line(), station_->settings(), &dialog_);
  rig_->setAttribute(Qt::WA_DeleteOnClose);
  QObject::connect(rig_, &QDialog::finished, &dialog_, [this] {
    dialog_.SetLineLent(false);
    if (bound_ != nullptr)
      bound_->ReturnLine();
  });
  rig_->open();
  rig_->Rediscover();
}

int QtWindowHost::RunModal(UpdaterWindow& window) {
  Bind(window);
  window.OnInit();
  const int result = dialog_.exec();
  Unbind();
  return result;
}

}  // namespace quillmont::ui
