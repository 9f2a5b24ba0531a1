"""A chat-completions model server on loopback for the end-to-end test.

  model_server.py answer|hang|huge PORT_FILE

Writes the port it listens on to PORT_FILE, and one line per request it receives to
standard output. "answer" replies to every chat-completion with one dialogue line;
"hang" reads the request and never replies; "huge" streams a valid answer padded
with 1 GiB of white space, without a length, and says how much of it was taken
("sent N bytes") when it is done or the client hangs up. Like hosted services, every
mode refuses a strict response format whose schema leaves an object open or one of
its properties optional (HTTP 400, "refused ..." on standard output).
"""
import json
import os
import sys
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

LINE = "Loopback model says the sawdust sparkles"


def strict_schema_fault(schema, path="schema"):
    """What a strict structured-output server refuses in `schema`, or None."""
    if not isinstance(schema, dict) or "properties" not in schema:
        return None
    if schema.get("additionalProperties") is not False:
        return f"{path}: additionalProperties must be false"
    missing = set(schema["properties"]) - set(schema.get("required", []))
    if missing:
        return f"{path}: required must list every property, missing {sorted(missing)}"
    faults = (strict_schema_fault(p, f"{path}.{n}") for n, p in schema["properties"].items())
    return next((fault for fault in faults if fault), None)


def request_fault(body):
    try:
        json_schema = json.loads(body)["response_format"]["json_schema"]
    except (ValueError, KeyError, TypeError):
        return None
    if json_schema.get("strict") is not True:
        return None
    return strict_schema_fault(json_schema.get("schema"))


class Handler(BaseHTTPRequestHandler):
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        print(f"request {self.path} {len(body)} bytes", flush=True)
        fault = request_fault(body)
        if fault:
            print(f"refused {fault}", flush=True)
            data = json.dumps({"error": {"type": "invalid_request_error", "message": fault}}).encode()
            self.send_response(400)
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)
            return
        if mode == "hang":
            threading.Event().wait()
        if not self.path.endswith("/v1/chat/completions"):
            self.send_error(404)
            return
        line = {"text": LINE, "tone": "playful", "refers_to_memory_id": None,
                "generated_by": "llm", "cache_key": "loopback"}
        answer = {"choices": [{"index": 0, "finish_reason": "stop",
                               "message": {"role": "assistant", "content": json.dumps(line)}}]}
        data = json.dumps(answer).encode()
        if mode == "huge":
            self.stream(data)
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def stream(self, data):
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.end_headers()
        padding = b" " * (1 << 20)
        sent = 0
        try:
            self.wfile.write(data)
            sent += len(data)
            for _ in range(1024):
                self.wfile.write(padding)
                sent += len(padding)
            self.wfile.flush()
        except OSError:
            pass
        print(f"sent {sent} bytes", flush=True)
        self.close_connection = True

    def log_message(self, *args):
        pass


mode, port_file = sys.argv[1], sys.argv[2]
server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
# Renamed into place so that a reader never sees half a number.
with open(port_file + ".tmp", "w") as f:
    f.write(str(server.server_address[1]))
os.replace(port_file + ".tmp", port_file)
server.serve_forever()
