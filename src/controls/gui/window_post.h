// The post function a window hands its job runner: a queued call onto the window's thread.
// Qt drops the call when the window has gone by then.
#pragma once

#include <QMetaObject>
#include <QObject>

#include "base/job_runner.h"

namespace tunecase {

inline JobRunner::Post windowPost(QObject* window) {
    return [window](JobRunner::Task task) { QMetaObject::invokeMethod(window, std::move(task), Qt::QueuedConnection); };
}

}  // namespace tunecase
