#pragma once
// The application object. An exception that escapes an event handler is written to the log
// as "Error Warning: " and its message, and the program goes on: no dialog, no abort.

#include <QApplication>

class TKestrovaApplication final : public QApplication {
    Q_OBJECT
  public:
    TKestrovaApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
