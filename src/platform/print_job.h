#pragma once

#include <QString>

namespace torvix {

// What became of a document handed to the print system.
struct PrintJobResult {
    int jobId = 0;  // the queue's job number; 0 when the job was not accepted
    QString error;  // why not, in the print system's words
    bool accepted() const { return jobId > 0; }
};

// Hands the ready file at `path` (PDF) to the CUPS queue `printer` ("name" or "name/instance";
// an instance's saved options go with the job) as one job titled `title`. Returns once the
// scheduler has taken or refused it; the file may be removed then.
PrintJobResult submitPrintFile(const QString& printer, const QString& path, const QString& title);

}  // namespace torvix
