#include "app/log_pane.h"

#include <QScrollBar>
#include <QTextBlock>

#include "settings/log.h"

TLogPane::TLogPane(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName("Logs");
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // One block per line: the document drops the oldest blocks beyond this count.
    setMaximumBlockCount(MaxLines);
    setPlainText("Welcome to the Kestrova Ogg Zizizada...");
    FTimer.setObjectName("tmrUpdateLog");
    FTimer.setSingleShot(true);
    connect(&FTimer, &QTimer::timeout, this, &TLogPane::tmrUpdateLogTimer);
    FTimer.start(UpdateIntervalMs);
}

void TLogPane::AppendLog(const std::string& text) {
    if (text.empty()) return;
    QString lines = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    lines.remove('\r');
    if (lines.endsWith('\n')) lines.chop(1);
    appendPlainText(lines);
    moveCursor(QTextCursor::End);
    // The caret alone does not scroll back to the left edge after a long line.
    horizontalScrollBar()->setValue(0);
}

int TLogPane::LineCount() const {
    return document()->blockCount();
}

void TLogPane::tmrUpdateLogTimer() {
    const std::string text = TakeLog();
    if (!text.empty()) AppendLog(text);
    FTimer.start(UpdateIntervalMs);
}
