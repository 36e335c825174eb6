#pragma once

// A shown Form1 whose File, Open dialog answers with nextName and whose
// messages are collected instead of shown: errors apart from the rest (the
// About box). Tests of the whole window derive from it.
#include "window/form1.h"

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

namespace dlvtest {

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<dlv::Form1>();
        form->setFileNameChooser([this] { return nextName; });
        form->setMessageHandler([this](dlv::Form1::MessageKind kind, const QString&, const QString& text) {
            (kind == dlv::Form1::MessageKind::Error ? errors : abouts) << text;
        });
        form->show();
    }

    std::unique_ptr<dlv::Form1> form;
    QString nextName;
    QStringList errors;
    QStringList abouts;
};

}  // namespace dlvtest
