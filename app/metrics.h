#pragma once
// The run's figures for monitoring (--metrics FILE), in the Prometheus text
// exposition format that node_exporter's textfile collector and
// windows_exporter's textfile_inputs read: when the last run ended, when a
// run last succeeded (carried over from the file's earlier contents when
// this one did not, so that an alert on its age works), how long it took,
// its exit code, whether it was a dry run, and the receipts it came back
// with, by ESTADO. Every series carries the labels company and ledger
// ("plain", "niif"); one file holds one company's ledger (give each its own
// file: the collector reads every *.prom file of its folder).
//
// The file is replaced whole, never written in place: a temporary file in the
// same folder, flushed to the disk, then renamed over it, so that the
// collector reads the earlier run's figures or this one's, never half.

#include <map>
#include <optional>
#include <string>

struct MetricsRecord {
    std::string company;  // the system's bytes, as the command line gave them
    bool niif = false;
    long long endedAt = 0;       // seconds since 1970
    double seconds = 0;          // the run's duration
    int exitCode = 0;
    bool dryRun = false;
    std::map<std::string, int> receipts;  // by ESTADO (the program's text)
};

// The file's text. lastSuccess: when a run last ended with exit code 0
// (this one's end when it did); 0 when none has.
std::string metricsText(const MetricsRecord& record, long long lastSuccess);

// The last success an earlier file of the same company and ledger holds.
std::optional<long long> lastSuccessIn(const std::string& text, const std::string& company, bool niif);

// Replaces the file at path with the text; "" when done, otherwise one line
// saying why not ("contardc: the metrics file PATH could not be written: ...").
std::string writeMetrics(const std::string& path, const std::string& text);

// A stop request or the deadline writes the file too (app/run_end.h): what
// it needs is prepared at the start of the run (the earlier file read), and
// the writing allocates nothing and takes no lock.
void prepareEndMetrics(const std::string& path, const std::string& company, bool niif, bool dryRun);
void writeEndMetrics(int exitCode, long long endedAt, double seconds);
// The last success the earlier file held, as read by prepareEndMetrics.
long long preparedLastSuccess();
