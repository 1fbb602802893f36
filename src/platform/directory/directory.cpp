#include "platform/directory/directory.h"

#include "platform/failure.h"

namespace torvix::directory {

namespace {

class UnreachableConnection : public Connection {
  public:
    explicit UnreachableConnection(QString why) : why_(std::move(why)) {}
    std::vector<Row> execute(const QString&, const CommandProperties&) override {
        throw Failure(why_);
    }
    std::optional<QDateTime> passwordLastChanged(const QString&) override { throw Failure(why_); }

  private:
    QString why_;
};

class UnreachableDirectory : public Directory {
  public:
    explicit UnreachableDirectory(QString why) : why_(std::move(why)) {}
    std::unique_ptr<Connection> open(const QString&, const QString&) override {
        return std::make_unique<UnreachableConnection>(why_);
    }

  private:
    QString why_;
};

}  // namespace

std::shared_ptr<Directory> makeUnreachableDirectory(const QString& why) {
    return std::make_shared<UnreachableDirectory>(why);
}

}  // namespace torvix::directory
