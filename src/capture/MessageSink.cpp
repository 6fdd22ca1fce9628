#include "capture/MessageSink.h"

#include <iostream>

namespace duolo {
namespace {

class StderrSink : public MessageSink {
public:
    void showMessage(const std::string& text) override { std::cerr << text << '\n'; }
};

StderrSink defaultSink;
MessageSink* currentSink = &defaultSink;

} // namespace

MessageSink* setMessageSink(MessageSink* sink)
{
    MessageSink* previous = currentSink == &defaultSink ? nullptr : currentSink;
    currentSink = sink ? sink : &defaultSink;
    return previous;
}

MessageSink* messageSink() { return currentSink; }

void showMessage(const std::string& text) { currentSink->showMessage(text); }

} // namespace duolo
