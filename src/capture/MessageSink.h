#pragma once

#include <string>

namespace duolo {

// Where the model's user-facing messages go. The desktop program shows each in a modal box
// with an OK button; tests and the command-line tool collect them. The model never blocks on
// anything but this call.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void showMessage(const std::string& text) = 0;
};

// Installs the process-wide sink (null restores the default, which writes to stderr).
// Returns the previous one so that tests can restore it.
MessageSink* setMessageSink(MessageSink* sink);
MessageSink* messageSink();
void showMessage(const std::string& text);

// Keeps the model's messages to itself while alive (computing what a save would write must not
// show the notes that a real save shows), then puts the previous sink back.
class SilencedMessages : public MessageSink {
public:
    SilencedMessages() : previous_(setMessageSink(this)) {}
    ~SilencedMessages() override { setMessageSink(previous_); }
    SilencedMessages(const SilencedMessages&) = delete;
    SilencedMessages& operator=(const SilencedMessages&) = delete;
    void showMessage(const std::string&) override {}

private:
    MessageSink* previous_;
};

} // namespace duolo
