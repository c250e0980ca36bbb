#include "framework/BusyCursor.h"

#include <QCursor>
#include <QGuiApplication>

TBusyCursor::TBusyCursor() { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }

TBusyCursor::~TBusyCursor() { QGuiApplication::restoreOverrideCursor(); }
