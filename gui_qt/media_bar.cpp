#include "gui_qt/media_bar.h"

#include <QHBoxLayout>
#include <QStyle>
#include <QToolButton>

namespace velmor {

MediaBar::MediaBar(MediaTriggers& media, QWidget* parent) : QWidget(parent), media_(media) {
  setFixedSize(240, 30);
  setAutoFillBackground(true);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->setSpacing(2);
  const auto add = [this, layout](QStyle::StandardPixmap icon, const QString& tip,
                                  void (MediaTriggers::*command)()) {
    auto* button = new QToolButton(this);
    button->setIcon(style()->standardIcon(icon));
    button->setToolTip(tip);
    button->setAutoRaise(true);
    connect(button, &QToolButton::clicked, this, [this, command] { (media_.*command)(); });
    layout->addWidget(button);
  };
  add(QStyle::SP_MediaPlay, QStringLiteral("Wiedergabe"), &MediaTriggers::SoundBarPlay);
  add(QStyle::SP_MediaPause, QStringLiteral("Pause"), &MediaTriggers::SoundBarPause);
  add(QStyle::SP_MediaStop, QStringLiteral("Stopp"), &MediaTriggers::SoundBarStop);
  layout->addStretch(1);
  Sync();
  media.SetSoundBarObserver([this] { Sync(); });
}

void MediaBar::Sync() {
  setVisible(media_.SoundBarVisible());
  raise();
}

}  // namespace velmor
