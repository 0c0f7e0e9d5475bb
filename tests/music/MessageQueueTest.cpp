// The music command queue: order, sizes in strings, the destructor's
// warning, and messages from several writers never split or interleaved.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "sound/music/MessageQueue.h"
#include "tests/support/LogCapture.h"

using debug::Kind;
using testsupport::logged;

TEST(MessageQueue, MessagesComeOutInOrderAndCountAsTwoStrings) {
    debug::Capture log;
    {
        MessageQueue queue;
        std::string command = "x", argument = "y";
        queue.removeMessage(command, argument);
        EXPECT_EQ(command, "");
        EXPECT_EQ(argument, "");
        queue.addMessage("play", "x");
        queue.addMessage("stop", "all");
        EXPECT_EQ(queue.getSize(), 4u);
        queue.removeMessage(command, argument);
        EXPECT_EQ(command, "play");
        EXPECT_EQ(argument, "x");
        EXPECT_EQ(queue.getSize(), 2u);
        EXPECT_TRUE(log.records().empty());
    }
    EXPECT_EQ(log.records(), std::vector<debug::Record>{logged("SoundManager", Kind::Warning, 0.1f,
                                                               "Not all the messages was destroyed: size = 2")});
}

TEST(MessageQueue, WritersOnSeveralThreadsNeverSplitOrReorderTheirMessages) {
    MessageQueue queue;
    constexpr int writers = 4, perWriter = 5000;
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w)
        threads.emplace_back([&queue, w] {
            for (int k = 0; k < perWriter; ++k) queue.addMessage("w" + std::to_string(w), std::to_string(k));
        });
    // The reader runs at the same time as the writers.
    std::map<std::string, int> next;
    int read = 0;
    bool inOrder = true, paired = true;
    while (read < writers * perWriter) {
        std::string command, argument;
        queue.removeMessage(command, argument);
        if (command.empty()) {
            std::this_thread::yield();
            continue;
        }
        paired = paired && command.size() == 2 && command[0] == 'w' && !argument.empty() && argument[0] != 'w';
        inOrder = inOrder && argument == std::to_string(next[command]++);
        ++read;
    }
    for (auto& t : threads) t.join();
    EXPECT_TRUE(paired);
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(queue.getSize(), 0u);
    EXPECT_EQ(next.size(), size_t(writers));
}
