#pragma once
// What a long message operation asks of whoever runs it: whether to stop (the dialog's cancel
// flag), whether the phone is still there, where progress goes, and a text for the dialog. Every
// member may be empty. The operation calls them on its own (worker) thread.

#include <QString>

#include <functional>

namespace messages {

struct BatchHooks {
    std::function<bool()> cancelled;
    std::function<bool()> connected;
    std::function<void(int total, int done)> progress;
    std::function<void(const QString& text)> remind;
    // Pauses between items (sends and saves); tests shorten it.
    int pauseMs = 1000;

    bool Cancelled() const { return cancelled && cancelled(); }
    bool Connected() const { return !connected || connected(); }
    void Progress(int total, int done) const {
        if (progress) {
            progress(total, done);
        }
    }
    void Remind(const QString& text) const {
        if (remind) {
            remind(text);
        }
    }
    // Sleeps pauseMs in short steps; false when cancelled meanwhile.
    bool Pause() const;
};

} // namespace messages
