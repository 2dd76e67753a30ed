#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// The pictures of the send dialog, by name: the buttons' "send_on", "send_off", "send_pause", "pause_on",
// "pause_off", "stop_on", "stop_off", the lines' "Ok" and "Fail", and the frames of the sending animation.
// They are drawn once and kept; an unknown name gives an empty picture.
namespace SendPictures {

QIcon picture(const QString& name);
// One of the animation's frames; the number wraps around.
QPixmap animationFrame(int frame);
constexpr int AnimationFrames = 8;

} // namespace SendPictures
