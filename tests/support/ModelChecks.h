#pragma once
// Qt's own model checks (QAbstractItemModelTester) over a model for the guard's life: every
// change the model announces is checked, and each broken rule is collected as a failure.
#include <QAbstractItemModelTester>
#include <QStringList>

namespace test {

class ModelChecks {
public:
    explicit ModelChecks(QAbstractItemModel* model)
        : previous_(qInstallMessageHandler(&ModelChecks::Collect)),
          outer_(std::exchange(current_, this)),
          tester_(model, QAbstractItemModelTester::FailureReportingMode::Warning) {}
    ~ModelChecks() {
        current_ = outer_;
        qInstallMessageHandler(previous_);
    }
    ModelChecks(const ModelChecks&) = delete;
    ModelChecks& operator=(const ModelChecks&) = delete;

    const QStringList& Failures() const { return failures_; }

private:
    static void Collect(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (current_ != nullptr && context.category != nullptr &&
            qstrcmp(context.category, "qt.modeltest") == 0 && type == QtWarningMsg) {
            current_->failures_ << text;
            return;
        }
        if (current_ != nullptr && current_->previous_ != nullptr)
            current_->previous_(type, context, text);
    }

    QtMessageHandler previous_;
    ModelChecks* outer_;
    QStringList failures_;
    inline static ModelChecks* current_ = nullptr;
    QAbstractItemModelTester tester_;  // last: checks the model while everything above lives
};

}  // namespace test
