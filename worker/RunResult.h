// How a worker run ended, inside the code: finished, stopped by the user (a
// stop, an abort answer, a refused retry), or failed with the reason the user
// is told. The dialog turns it into its progress codes only where its signals
// carry them.
#pragma once

#include <QString>

#include <cstdint>

enum class RunEnd : uint8_t {
    Finished,
    Stopped,
    Failed,
};

struct StructRunResult {
    RunEnd end = RunEnd::Failed;
    QString reason; // Failed: why, for a message box; may be empty when told already

    static StructRunResult Finished() { return {RunEnd::Finished, QString()}; }
    static StructRunResult Stopped() { return {RunEnd::Stopped, QString()}; }
    static StructRunResult Failed(const QString &clstrReason = QString()) {
        return {RunEnd::Failed, clstrReason};
    }
    bool Succeeded() const { return end == RunEnd::Finished; }
};
