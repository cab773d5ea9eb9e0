#include "app/AnswerReadJob.h"

#include <QMetaObject>
#include <chrono>
#include <exception>
#include <memory>

namespace vantrel {

AnswerReadJob::AnswerReadJob(BatchHandler onBatch, EndHandler onEnd, QObject* parent)
    : QObject(parent), onBatch_(std::move(onBatch)), onEnd_(std::move(onEnd)) {}

AnswerReadJob::~AnswerReadJob() {
  cancel();
  if (worker_.joinable()) worker_.join();
}

void AnswerReadJob::cancel() {
  {
    const std::lock_guard lock(mutex_);
    cancelled_ = true;
  }
  room_.notify_all();
}

void AnswerReadJob::start(const std::filesystem::path& source) {
  start([source](const answers::ReadCallbacks& callbacks) {
    return answers::readAnswers(source, callbacks);
  });
}

void AnswerReadJob::start(answers::AnswerSource source) {
  if (worker_.joinable()) worker_.join();
  cancelled_ = false;
  bytesDone_ = 0;
  bytesTotal_ = 0;
  batchesOnTheirWay_ = 0;
  worker_ = std::thread([this, source = std::move(source)] { read(source); });
}

// Runs in the worker thread: everything it hands over goes through the event queue of the
// object's own thread.
void AnswerReadJob::read(const answers::AnswerSource& source) {
  using Clock = std::chrono::steady_clock;
  std::vector<answers::Answer> batch;
  Clock::time_point batchStarted = Clock::now();
  const auto batchIsDue = [&] {
    return batch.size() >= kBatchSize ||
           Clock::now() - batchStarted >= std::chrono::milliseconds(kBatchMilliseconds);
  };
  answers::ReadCallbacks callbacks;
  callbacks.onAnswer = [&](answers::Answer&& answer) {
    if (cancelled_) return;
    if (batch.empty()) batchStarted = Clock::now();
    batch.push_back(std::move(answer));
    if (batchIsDue()) sendBatch(batch);
  };
  callbacks.onProgress = [&](std::uint64_t done, std::uint64_t total) {
    bytesDone_ = done;
    bytesTotal_ = total;
    if (!batch.empty() && batchIsDue()) sendBatch(batch);
    return !cancelled_;
  };
  try {
    Result<answers::ReadSummary> result = source(callbacks);
    if (!batch.empty()) sendBatch(batch);
    // Answers dropped after a cancel make the read a cancelled one, even when the reader came to
    // the end before it asked again whether to go on.
    if (result.ok() && cancelled_) result.value().cancelled = true;
    finish(std::move(result));
  } catch (const std::exception& error) {
    // Nothing may leave the thread; out of memory on a huge mailbox ends the read like a failure.
    finish(unknownFailure(error.what()));
  }
}

void AnswerReadJob::sendBatch(std::vector<answers::Answer>& batch) {
  waitForRoom();
  auto handed = std::make_shared<std::vector<answers::Answer>>(std::move(batch));
  batch.clear();
  batch.reserve(kBatchSize);
  QMetaObject::invokeMethod(
      this,
      [this, handed] {
        batchTaken();
        onBatch_(std::move(*handed));
      },
      Qt::QueuedConnection);
}

void AnswerReadJob::waitForRoom() {
  std::unique_lock lock(mutex_);
  room_.wait(lock, [this] { return cancelled_ || batchesOnTheirWay_ < kMostBatchesOnTheirWay; });
  ++batchesOnTheirWay_;
}

void AnswerReadJob::batchTaken() {
  {
    const std::lock_guard lock(mutex_);
    --batchesOnTheirWay_;
  }
  room_.notify_all();
}

void AnswerReadJob::finish(Result<answers::ReadSummary> result) {
  auto handed = std::make_shared<Result<answers::ReadSummary>>(std::move(result));
  QMetaObject::invokeMethod(
      this,
      [this, handed] {
        if (worker_.joinable()) worker_.join();
        onEnd_(*handed);
      },
      Qt::QueuedConnection);
}

}  // namespace vantrel
