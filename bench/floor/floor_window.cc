// The toolkit's floor for the measuring scripts: the least a frameless Qt window of the notch's
// size costs to start, to keep at rest and to paint. The scripts build it beside the program and
// measure both in the same run, so that their figures are ratios on one machine.
// With an argument N it repaints itself whole N times at 60 Hz, a second after showing, then stays
// still: the toolkit's cost of a frame.

#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <cstdlib>

namespace {

class Floor final : public QWidget {
public:
    explicit Floor(int frames) : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), left_(frames) {
        setFixedSize(576, 320);
        timer_.setInterval(16);
        connect(&timer_, &QTimer::timeout, this, [this] {
            if (--left_ <= 0) timer_.stop();
            update();
        });
        if (left_ > 0) QTimer::singleShot(1000, this, [this] { timer_.start(); });
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
        p.setPen(Qt::white);
        p.drawText(rect(), Qt::AlignCenter, QString::number(left_));
    }

private:
    int left_;
    QTimer timer_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Floor w(argc > 1 ? std::atoi(argv[1]) : 0);
    w.show();
    return QApplication::exec();
}
