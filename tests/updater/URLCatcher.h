#pragma once
// Stands in for the user's browser: QDesktopServices hands it the URLs it
// would open.

#include <QObject>
#include <QUrl>

#include <vector>

namespace lf::test {

class URLCatcher : public QObject {
    Q_OBJECT
public:
    std::vector<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

}  // namespace lf::test
