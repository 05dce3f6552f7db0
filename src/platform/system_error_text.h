#pragma once
// What the system said, in the window's language: an operator reads why a file or a device
// could not be used in Russian, not in the C library's English.
#include <QAbstractSocket>
#include <QFileDevice>
#include <QString>

namespace torvex {

// The reason that an errno value stands for ("нет прав доступа", "нет места на диске", ...);
// a value without a text of its own is named by its number.
QString SystemErrorText(int error);

// A file device's kind of failure, for when the system gave no errno: Qt's own texts are in
// English. Empty for NoError.
QString FileDeviceErrorText(QFileDevice::FileError error);

// Why a network connection failed, as the socket tells it (its own text is in English).
QString SocketErrorText(QAbstractSocket::SocketError error);

// Why the file at path cannot be written (or created), found by asking the file system step by
// step: its folder, the file, the rights, the space. The reason leaves the file's own path out
// and names any other path it is about ("папка /home/u/x не является папкой"). Empty when
// nothing is found wrong now.
QString WriteFailureText(const QString& path);

// Why the file at path cannot be read, in the same way; empty when it can.
QString ReadFailureText(const QString& path);

}  // namespace torvex
