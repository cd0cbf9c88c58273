"""Ctrl+C in a script: a KeyboardInterrupt raised in the main thread while it
waits in a call."""

import signal
import threading
import time


class InterruptAfter:
    """Sends SIGINT to the main thread `seconds` after entering; `at` is when."""

    def __init__(self, seconds):
        self.at = None
        self._timer = threading.Timer(seconds, self._interrupt)

    def _interrupt(self):
        self.at = time.monotonic()
        signal.pthread_kill(threading.main_thread().ident, signal.SIGINT)

    def __enter__(self):
        self._timer.start()
        return self

    def __exit__(self, *exc_info):
        self._timer.join()
        return False

    def seconds_since(self):
        return time.monotonic() - self.at
