#pragma once
// Stands in for whatever shows the user a message and waits for an answer: keeps every
// message in order and answers with the queued answers, then with `answer`.

#include <deque>
#include <functional>
#include <vector>

namespace vantrel::test {

template <typename Message, template <typename...> class List = std::vector>
class MessageRecorder {
 public:
  List<Message> shown;
  std::deque<int> answers;
  int answer = 1;  // "OK", the one answer of a box with one button
  // Runs while the message is "shown", as a user would act before answering.
  std::function<void(const Message&)> onShow;

  int record(const Message& message) {
    shown.push_back(message);
    if (onShow) onShow(shown.back());
    if (answers.empty()) return answer;
    const int next = answers.front();
    answers.pop_front();
    return next;
  }

  // The recorder as a function of the shape a message sink takes.
  std::function<int(const Message&)> sink() {
    return [this](const Message& message) { return record(message); };
  }
};

}  // namespace vantrel::test
