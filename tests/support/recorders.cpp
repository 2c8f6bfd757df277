#include "tests/support/recorders.h"

#include <cstdio>

#include "base/error.h"

namespace kw::test {

void RecordingRunHost::ShowMainWindow() {
    events.push_back("ShowMain");
    mainVisible = true;
}

void RecordingRunHost::HideMainWindow() {
    events.push_back("HideMain");
    mainVisible = false;
}

void RecordingRunHost::ShowProgress() {
    events.push_back("ShowProgress");
    LoadProgress();
    progressVisible = true;
}

void RecordingRunHost::LoadProgress() {
    if (!progressLoaded)
        label1 = label3 = label5 = {};
    progressLoaded = true;
}

void RecordingRunHost::CloseProgress() {
    progressLoaded = progressVisible = false;
    ShowMainWindow();
}

void RecordingRunHost::SetProgressLabel(ProgressLabel label, const std::string& text) {
    LoadProgress();
    switch (label) {
    case ProgressLabel::Status:
        events.push_back("Label1=" + text);
        label1 = text;
        break;
    case ProgressLabel::StartTime:
        events.push_back("Label3=" + text);
        label3 = text;
        break;
    case ProgressLabel::EndTime:
        events.push_back("Label5=" + text);
        label5 = text;
        break;
    }
}

void RecordingRunHost::BringWindowToFront(const std::string& title) {
    events.push_back("Front=" + title);
    if (!anyTitle && !windowTitles.count(title))
        throw Error(errors::kInvalidCall, "Invalid procedure call or argument");
}

void RecordingRunHost::ShowError(const std::string& text) {
    events.push_back("Error=" + text);
    errors.push_back(text);
}

std::string RecordingRunHost::TimeOfDay() {
    char text[16];
    std::snprintf(text, sizeof text, "10:00:%02d", clock++ % 60);
    return text;
}

std::vector<std::string> RecordingRunHost::StatusTexts() const {
    std::vector<std::string> texts;
    for (const auto& event : events)
        if (event.rfind("Label1=", 0) == 0)
            texts.push_back(event.substr(7));
    return texts;
}

} // namespace kw::test
