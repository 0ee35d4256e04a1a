#include <QTest>
class TemplateFormTest : public QObject {
  Q_OBJECT
 private slots:
  void placeholder() {}
};
QTEST_MAIN(TemplateFormTest)
#include "TemplateFormTest.moc"
