// testbay -Automation driven by the json-rpc-2.0 package's client, its
// transport being the server's standard input and output, against a virtual
// relay mapped as COM1.
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import { mkdtempSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { createInterface } from "node:readline";
import { after, before, test } from "node:test";
import { JSONRPCClient, JSONRPCErrorException } from "json-rpc-2.0";

const server = process.env.TESTBAY_SERVER ?? "testbay";
const relayProgram = process.env.TESTBAY_RELAY ?? "testbay-relay";

let workspace;
let relay;
let automation;
let client;
// Every line the server wrote, so that batches can be counted as lines.
const lines = [];
// A server that never answers fails the test instead of hanging it.
const limit = { timeout: 30000 };

function firstLine(stream) {
    return new Promise((resolve, reject) => {
        const reader = createInterface({ input: stream });
        reader.once("line", (line) => resolve(line.trim()));
        reader.once("close", () => reject(new Error("the relay did not start")));
    });
}

before(async () => {
    workspace = mkdtempSync(join(tmpdir(), "testbay-node-"));
    relay = spawn(relayProgram, ["--state", "hwt", "--cpu", "NDX4"], { stdio: ["ignore", "pipe", "inherit"] });
    const device = await firstLine(relay.stdout);
    writeFileSync(join(workspace, "Testbay.ini"), `[Ports]\r\nCOM1=${device}\r\n`);
    automation = spawn(server, ["-Automation"], {
        stdio: ["pipe", "pipe", "inherit"],
        env: { ...process.env, TESTBAY_CONFIG_DIR: workspace, TMPDIR: workspace },
    });
    client = new JSONRPCClient((payload) => {
        automation.stdin.write(JSON.stringify(payload) + "\n");
    });
    createInterface({ input: automation.stdout }).on("line", (line) => {
        lines.push(line);
        client.receive(JSON.parse(line));
    });
});

after(async () => {
    client.rejectAllPendingRequests("the test is over");
    const ended = new Promise((resolve) => automation.once("exit", resolve));
    automation.stdin.end();
    assert.equal(await ended, 0);
    relay.kill("SIGTERM");
    rmSync(workspace, { recursive: true, force: true });
});

test("single calls return the value and the by-reference values", limit, async () => {
    const version = await client.request("GetTestbayVersion", []);
    assert.match(version.return, /^\d\d\.\d\d\.\d\d$/);
    assert.deepEqual(await client.request("IsActiv", []), { return: false, out: [] });
    await assert.rejects(client.request("NoSuchMethod", []), (error) => {
        assert.ok(error instanceof JSONRPCErrorException);
        assert.equal(error.code, -32601);
        return true;
    });
});

test("a notification is carried out without a reply", limit, async () => {
    const before = lines.length;
    client.notify("EnterHardwaretestAtPort", ["", 1]);
    assert.deepEqual(await client.request("IsActiv", []), { return: true, out: [] });
    assert.equal(lines.length, before + 1);
});

test("a batch is answered by one line of replies, its notifications by none", limit, async () => {
    const before = lines.length;
    const replies = await client.requestAdvanced([
        { jsonrpc: "2.0", id: "cpu", method: "GetCpu" },
        { jsonrpc: "2.0", method: "SetLed", params: [2, true] },
        { jsonrpc: "2.0", id: "led", method: "GetLed", params: [2] },
        { jsonrpc: "2.0", id: "bad", method: "SetLed", params: ["two", true] },
    ]);
    assert.equal(lines.length, before + 1);
    const byId = Object.fromEntries(replies.map((reply) => [reply.id, reply]));
    assert.equal(replies.length, 3);
    assert.equal(byId.cpu.result.return, "NDX4");
    assert.deepEqual(byId.led.result, { return: true, out: [true] });
    assert.equal(byId.bad.error.code, -32602);

    await client.send([
        { jsonrpc: "2.0", method: "SetLed", params: [2, false] },
        { jsonrpc: "2.0", method: "SetLeds", params: [0] },
    ]);
    assert.deepEqual(await client.request("GetLed", [2]), { return: true, out: [false] });
    assert.equal(lines.length, before + 2);
});
