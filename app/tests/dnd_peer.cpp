// Another program on the desktop for the drag-and-drop tests. With --source FILE... its
// window drags those files away (as a copy) when pressed; with --sink OUT it takes files
// dropped onto it and writes their paths, one a line, to OUT. Its window is named
// "dnd-peer" and lies at 700, 100, 300 x 300.
#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QSaveFile>
#include <QUrl>
#include <QWidget>

namespace {

class Peer : public QWidget {
 public:
  Peer(QList<QUrl> source, QString sink) : source_(std::move(source)), sink_(std::move(sink)) {
    setWindowTitle("dnd-peer");
    setAcceptDrops(!sink_.isEmpty());
  }

 protected:
  void mousePressEvent(QMouseEvent*) override {
    if (source_.isEmpty()) return;
    auto* data = new QMimeData;
    data->setUrls(source_);
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction);
  }
  void dragEnterEvent(QDragEnterEvent* e) override {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
  }
  void dragMoveEvent(QDragMoveEvent* e) override { e->acceptProposedAction(); }
  void dropEvent(QDropEvent* e) override {
    QSaveFile out(sink_);
    if (!out.open(QIODevice::WriteOnly)) return;
    for (const QUrl& url : e->mimeData()->urls()) out.write(QFile::encodeName(url.toLocalFile()) + "\n");
    if (out.commit()) e->acceptProposedAction();
  }

 private:
  QList<QUrl> source_;
  QString sink_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QList<QUrl> source;
  QString sink;
  const QStringList args = app.arguments();
  if (args.size() >= 3 && args[1] == "--sink") {
    sink = args[2];
  } else if (args.size() >= 3 && args[1] == "--source") {
    for (qsizetype i = 2; i < args.size(); ++i) source.append(QUrl::fromLocalFile(args[i]));
  } else {
    return 2;
  }
  Peer peer(source, sink);
  peer.setGeometry(700, 100, 300, 300);
  peer.show();
  return app.exec();
}
