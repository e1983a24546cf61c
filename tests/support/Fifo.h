#pragma once

#include <QString>
#include <QTemporaryDir>

#include <functional>

namespace testsupport {

// A named pipe (FIFO) in a fresh temporary folder, for code that must refuse to read one.
//
//     Fifo fifo;
//     prompts.answers << fifo.path();
//     QVERIFY(fifo.returnsInTime([&] { window.openNewTrace(); }));
class Fifo
{
public:
    Fifo();

    bool isValid() const { return m_valid; }
    QString path() const { return m_path; }

    // Runs `body` on this thread. A body that opens the pipe for reading waits for a writer that
    // never comes; once `timeoutMs` have passed, writers come and go on the pipe until the body
    // returns, so that it fails the test instead of hanging it. False when the body had to be
    // let go that way.
    bool returnsInTime(const std::function<void()> &body, int timeoutMs = 5000) const;

private:
    QTemporaryDir m_dir;
    QString m_path;
    bool m_valid = false;
};

} // namespace testsupport
