// Helpers for the widget tests: answering the modal message boxes a test provokes, and a small
// complete base built by the builder.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <string>
#include <vector>

#include "BuilderTestSupport.h"
#include "builder/BaseBuilder.h"

namespace NorikTest {

// Clicks the button that reads buttonText in the next message boxes that open (one per entry of
// texts seen), recording each box's text. Runs from the event loop of the modal box itself.
class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(QString buttonText) : m_button(std::move(buttonText)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
        m_timer.start(5);
    }
    // The texts of the boxes answered, in order.
    const std::vector<QString>& texts() const { return m_texts; }
    const std::vector<QString>& captions() const { return m_captions; }

private:
    void Poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        for (QAbstractButton* button : box->buttons()) {
            if (button->text().remove('&') == m_button) {
                m_texts.push_back(box->text());
                m_captions.push_back(box->windowTitle());
                button->click();
                return;
            }
        }
    }

    QString m_button;
    QTimer m_timer;
    std::vector<QString> m_texts;
    std::vector<QString> m_captions;
};

// The builder's small base (three documents under "Налоги и сборы": "Федеральные налоги" holds
// documents 1 and 2, "Местные налоги" documents 2 and 5) written to folder.
inline void BuildSmallBase(const std::string& folder) {
    Norik::BuildReport report;
    std::vector<std::string> problems;
    ASSERT_TRUE(Norik::BuildBase(SmallSource(), folder, Norik::BuildOptions{.threads = 1}, report, problems))
        << (problems.empty() ? std::string() : problems.front());
}

}  // namespace NorikTest
