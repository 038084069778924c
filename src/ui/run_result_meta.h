// A run's result crosses from the worker to the window's thread in queued
// signals: Qt's meta-type system knows it from here, before any signal uses it.
#pragma once

#include <QMetaType>

#include "session/run_result.h"

Q_DECLARE_METATYPE(tolvane::RunResult)
