#pragma once
// A tiny HTTP/1.1 server on 127.0.0.1 for tests of the program's network clients. It answers each
// request with the next canned reply (the last one repeats) and records what it received. It serves
// on its own thread and stops in the destructor.

#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct CannedReply {
    int status = 200;
    std::string body;
    std::string contentType = "text/plain";
    int delayMs = 0;
};

struct ReceivedRequest {
    std::string method;
    std::string path;
    std::string headers;
    std::string body;
};

class LocalHttpServer {
public:
    explicit LocalHttpServer(std::vector<CannedReply> replies = {CannedReply{}});
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    int Port() const { return m_port; }
    std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    std::vector<ReceivedRequest> Requests();

private:
    void Serve();
    void Handle(int client);

    std::vector<CannedReply> m_replies;
    std::size_t m_next = 0;
    int m_listener = -1;
    int m_port = 0;
    bool m_stopping = false;
    std::mutex m_lock;
    std::vector<ReceivedRequest> m_requests;
    std::thread m_thread;
};
