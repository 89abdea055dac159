#pragma once
// Logs: the read-only log memo under the preview. Its timer (tmrUpdateLog, every 250 ms)
// takes what the window log gathered from every thread, appends it, keeps the newest 50
// lines and puts the caret at the end so the newest line is in view.

#include <QPlainTextEdit>
#include <QTimer>
#include <string>

class TLogPane final : public QPlainTextEdit {
    Q_OBJECT
  public:
    static constexpr int MaxLines = 50;
    static constexpr int UpdateIntervalMs = 250;

    explicit TLogPane(QWidget* parent = nullptr);

    // Appends text of whole lines (CR LF or LF endings) and trims the oldest lines.
    void AppendLog(const std::string& text);
    int LineCount() const;

  private:
    void tmrUpdateLogTimer();

    QTimer FTimer;
};
