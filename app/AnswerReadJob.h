#pragma once
// Reads answers in a thread of its own, so that a mailbox of 100,000 answers leaves the window
// free to repaint and to take a cancel. The answers reach the window's thread in batches, never
// one event per answer, and the end of the read comes last, after every batch. A reader faster
// than the window waits once a few batches are on their way, so the answers read but not yet
// taken stay few whatever the size of the mailbox.

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "answers/AnswerExport.h"
#include "answers/AnswerReader.h"

namespace vantrel {

class AnswerReadJob : public QObject {
  Q_OBJECT

 public:
  using BatchHandler = std::function<void(std::vector<answers::Answer>&& batch)>;
  using EndHandler = std::function<void(const Result<answers::ReadSummary>& result)>;

  // The handlers run in the thread this object lives in; they must not delete the job.
  AnswerReadJob(BatchHandler onBatch, EndHandler onEnd, QObject* parent = nullptr);
  // Cancels a read still running and waits for its thread.
  ~AnswerReadJob() override;

  void start(const std::filesystem::path& source);
  // Any other source of answers (a mailbox on a server), read in the worker thread.
  void start(answers::AnswerSource source);
  // The read stops at its next report of progress; answers read after that are dropped, and
  // the summary says the read was cancelled.
  void cancel();
  [[nodiscard]] bool running() const { return worker_.joinable(); }

  [[nodiscard]] std::uint64_t bytesDone() const { return bytesDone_; }
  [[nodiscard]] std::uint64_t bytesTotal() const { return bytesTotal_; }

  // A batch goes to the window when it holds this many answers or is this old.
  static constexpr std::size_t kBatchSize = 2000;
  static constexpr int kBatchMilliseconds = 100;
  static constexpr int kMostBatchesOnTheirWay = 4;

 private:
  void read(const answers::AnswerSource& source);
  void sendBatch(std::vector<answers::Answer>& batch);
  void waitForRoom();
  void batchTaken();
  void finish(Result<answers::ReadSummary> result);

  BatchHandler onBatch_;
  EndHandler onEnd_;
  std::thread worker_;
  std::atomic<bool> cancelled_ = false;
  std::atomic<std::uint64_t> bytesDone_ = 0;
  std::atomic<std::uint64_t> bytesTotal_ = 0;
  std::mutex mutex_;
  std::condition_variable room_;
  int batchesOnTheirWay_ = 0;  // guarded by mutex_
};

}  // namespace vantrel
