#!/usr/bin/env python3
"""Load on the reference service over loopback (not a test: it prints figures and judges nothing).

Starts <build>/bin/ondavo-service on a free port of 127.0.0.1, then
  1. opens SLOW connections that each send half a request and then nothing;
  2. while they are held, asks for a page on a fresh connection (status, ms);
  3. sends REQUESTS ordinary GETs over CONCURRENCY keep-alive connections: requests/s, failures,
     latency; then asks for a page on a fresh connection again;
  4. watches the half-sent connections until the service drops them: how many remain IDLE_BOUND
     seconds after their last byte, and the earliest and latest drop;
  5. reads the service's peak resident memory (VmHWM) and CPU time from /proc.
Every socket has a timeout and the whole run a deadline; the service is stopped at the end.

Usage: bench/serviceload.py [build-dir] [slow] [requests] [concurrency]
       (defaults: build 400 2000 50)
"""

import os
import re
import select
import signal
import socket
import subprocess
import sys
import threading
import time

IDLE_BOUND = 6.0  # the service's idle limit is 5 s; its timers may fire up to 5 % late
WATCH_LIMIT = 20.0  # stop watching the half-sent connections this long after their last byte
DEADLINE = 180  # seconds for the whole run
TARGETS = [
    b"/clock/default/",
    b"/redirector/?username=&passw=&action=login&client=Ondavo3",
    b"/index.php?action=ondavo",
    b"/export/radio_player.html",
]
HALF_REQUEST = b"GET /clock/default/ HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: "


def read_answer(sock, buffer):
    """One HTTP answer from sock; returns (status, rest of the buffer). Raises on a short read."""
    while b"\r\n\r\n" not in buffer:
        chunk = sock.recv(65536)
        if not chunk:
            raise ConnectionError("closed before the headers")
        buffer += chunk
    head, _, buffer = buffer.partition(b"\r\n\r\n")
    status = int(head.split(b" ", 2)[1])
    match = re.search(rb"\r\nContent-Length: (\d+)", head, re.IGNORECASE)
    length = int(match.group(1)) if match else 0
    while len(buffer) < length:
        chunk = sock.recv(65536)
        if not chunk:
            raise ConnectionError("closed inside the body")
        buffer += chunk
    return status, buffer[length:]


def one_page(port, target=b"/clock/default/"):
    """A page on a fresh connection: (status or error text, ms)."""
    started = time.monotonic()
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=10) as sock:
            sock.sendall(b"GET " + target + b" HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")
            status, _ = read_answer(sock, b"")
    except OSError as error:
        status = type(error).__name__
    return status, (time.monotonic() - started) * 1000


class Load:
    def __init__(self, port, requests, concurrency):
        self.port = port
        self.left = requests
        self.lock = threading.Lock()
        self.latencies = []
        self.failures = 0
        self.reconnects = 0
        self.threads = [threading.Thread(target=self.worker, args=(i,)) for i in range(concurrency)]

    def take(self):
        with self.lock:
            if self.left == 0:
                return False
            self.left -= 1
            return True

    def worker(self, index):
        sock, buffer, n = None, b"", index
        latencies, failures, reconnects = [], 0, 0
        while self.take():
            target = TARGETS[n % len(TARGETS)]
            n += 1
            try:
                if sock is None:
                    sock = socket.create_connection(("127.0.0.1", self.port), timeout=10)
                    buffer = b""
                    reconnects += 1
                started = time.monotonic()
                sock.sendall(b"GET " + target + b" HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
                status, buffer = read_answer(sock, buffer)
                latencies.append(time.monotonic() - started)
                if status != 200:
                    failures += 1
            except OSError:
                failures += 1
                if sock is not None:
                    sock.close()
                sock = None
        if sock is not None:
            sock.close()
        with self.lock:
            self.latencies += latencies
            self.failures += failures
            self.reconnects += reconnects

    def run(self):
        started = time.monotonic()
        for thread in self.threads:
            thread.start()
        for thread in self.threads:
            thread.join()
        return time.monotonic() - started


class Watcher(threading.Thread):
    """Notes when the service ends each half-sent connection, from the moment it is opened."""

    def __init__(self):
        super().__init__(daemon=True)
        self.lock = threading.Lock()
        self.last_byte = {}  # socket: moment of its last byte
        self.dropped = {}  # socket: seconds from its last byte to the end of the connection
        self.done = threading.Event()

    def add(self, sock, moment):
        with self.lock:
            self.last_byte[sock] = moment

    def open_count(self):
        with self.lock:
            return len(self.last_byte) - len(self.dropped)

    def run(self):
        poll = select.poll()
        polled = {}  # file descriptor: socket
        while not self.done.is_set():
            with self.lock:
                for sock in self.last_byte:
                    if sock.fileno() not in polled and sock not in self.dropped:
                        polled[sock.fileno()] = sock
                        poll.register(sock, select.POLLIN)
            events = poll.poll(20)
            now = time.monotonic()
            for fd, _ in events:
                sock = polled.pop(fd)
                poll.unregister(fd)
                try:
                    ended = sock.recv(4096) == b""
                except OSError:
                    ended = True
                if ended:
                    with self.lock:
                        self.dropped[sock] = now - self.last_byte[sock]


def proc_figures(pid):
    with open(f"/proc/{pid}/status") as status:
        fields = dict(line.split(":", 1) for line in status if ":" in line)
    with open(f"/proc/{pid}/stat") as stat:
        parts = stat.read().rsplit(")", 1)[1].split()
    cpu = (int(parts[11]) + int(parts[12])) / os.sysconf("SC_CLK_TCK")
    return fields["VmHWM"].strip(), fields["VmRSS"].strip(), cpu


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    slow = int(sys.argv[2]) if len(sys.argv) > 2 else 400
    requests = int(sys.argv[3]) if len(sys.argv) > 3 else 2000
    concurrency = int(sys.argv[4]) if len(sys.argv) > 4 else 50
    binary = os.path.join(root, build, "bin", "ondavo-service")
    if not os.access(binary, os.X_OK):
        sys.exit(f"build first: {binary} is missing")

    service = subprocess.Popen([binary, "--address", "127.0.0.1", "--port", "0"], stdout=subprocess.PIPE)

    def give_up(*_):
        service.kill()
        sys.exit("deadline passed")

    signal.signal(signal.SIGALRM, give_up)
    signal.alarm(DEADLINE)
    try:
        line = service.stdout.readline().decode().strip()
        port = int(re.search(r":(\d+)$", line).group(1))
        print(f"service pid {service.pid} on port {port}")

        watcher = Watcher()
        watcher.start()
        started = time.monotonic()
        failed = slow_connects = 0
        for _ in range(slow):
            try:
                connecting = time.monotonic()
                sock = socket.create_connection(("127.0.0.1", port), timeout=10)
                if time.monotonic() - connecting > 0.5:
                    slow_connects += 1  # a SYN sent again: the listen queue overflowed
                sock.sendall(HALF_REQUEST)
                watcher.add(sock, time.monotonic())
            except OSError:
                failed += 1
        print(f"half-sent connections: {slow - failed} opened in {time.monotonic() - started:.2f} s "
              f"({slow_connects} connects took over 0.5 s), {failed} failed; "
              f"{watcher.open_count()} open now")

        status, ms = one_page(port)
        print(f"a page while they are held: status {status} in {ms:.1f} ms")

        load = Load(port, requests, concurrency)
        seconds = load.run()
        done = len(load.latencies)
        latencies = sorted(load.latencies) or [0]
        print(f"load: {requests} GETs over {concurrency} keep-alive connections in {seconds:.2f} s: "
              f"{done / seconds:.0f} requests/s, {load.failures} failed, "
              f"{load.reconnects - concurrency} reconnects; latency ms "
              f"median {latencies[len(latencies) // 2] * 1000:.1f}, "
              f"p99 {latencies[int(len(latencies) * 0.99)] * 1000:.1f}, max {latencies[-1] * 1000:.1f}")
        print(f"half-sent connections still open right after the load: {watcher.open_count()}")

        status, ms = one_page(port)
        print(f"a page after the load: status {status} in {ms:.1f} ms")

        last = max(watcher.last_byte.values(), default=time.monotonic())
        while watcher.open_count() and time.monotonic() - last < WATCH_LIMIT:
            time.sleep(0.1)
        watcher.done.set()
        watcher.join()
        drops = list(watcher.dropped.values())
        late = sum(1 for seconds in drops if seconds > IDLE_BOUND) + watcher.open_count()
        print(f"half-sent connections still open {IDLE_BOUND:.0f} s after their last byte: {late}; "
              f"never dropped within {WATCH_LIMIT:.0f} s: {watcher.open_count()}")
        if drops:
            drops.sort()
            print(f"dropped after their last byte: earliest {drops[0]:.2f} s, "
                  f"median {drops[len(drops) // 2]:.2f} s, latest {drops[-1]:.2f} s")
        for sock in watcher.last_byte:
            sock.close()

        peak, rss, cpu = proc_figures(service.pid)
        print(f"service: peak RSS {peak}, RSS now {rss}, CPU time {cpu:.2f} s")
    finally:
        signal.alarm(0)
        service.terminate()
        try:
            service.wait(timeout=10)
        except subprocess.TimeoutExpired:
            service.kill()


if __name__ == "__main__":
    main()
