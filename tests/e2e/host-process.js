// The e2e test host as a child process: its output echoed with a "[host]" prefix and searchable,
// its standard input open for the line commands it takes (see E2EHost.cpp).

import { spawn } from 'node:child_process';

/** Starts `binary` with `env` added to this process's environment. */
export function startHost(binary, env) {
  const child = spawn(binary, [], { env: { ...process.env, ...env }, stdio: ['pipe', 'pipe', 'pipe'] });
  let output = '';
  const waiters = [];
  const onData = (chunk) => {
    output += chunk;
    process.stdout.write(`[host] ${chunk}`);
    for (const w of [...waiters]) {
      const match = output.slice(w.from).match(w.pattern);
      if (match) { waiters.splice(waiters.indexOf(w), 1); w.resolve(match); }
    }
  };
  child.stdout.setEncoding('utf8').on('data', onData);
  child.stderr.setEncoding('utf8').on('data', (chunk) => process.stderr.write(`[host] ${chunk}`));
  // A host that has gone leaves a broken pipe behind; writes to it are the test's to notice.
  child.stdin.on('error', () => {});
  const exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })));

  return {
    child,
    exited,
    /** Where the output stands now, for waitFor and linesSince. */
    mark() { return output.length; },
    /** The host's lines printed after `mark`, without the "Vistrel e2e host: " prefix. */
    linesSince(mark) {
      return output.slice(mark).split('\n')
        .filter((l) => l.startsWith('Vistrel e2e host: '))
        .map((l) => l.slice('Vistrel e2e host: '.length));
    },
    /** Resolves the first match of `pattern` in the output after `from` (by default all of it). */
    waitFor(pattern, timeoutMs, from = 0) {
      const match = output.slice(from).match(pattern);
      if (match) return Promise.resolve(match);
      return new Promise((resolve, reject) => {
        const waiter = { pattern, resolve, from };
        waiters.push(waiter);
        // unref: a pending time-out must not keep node alive once the test is over.
        setTimeout(() => reject(new Error(`host never printed ${pattern}`)), timeoutMs).unref();
        exited.then(({ code, signal }) => reject(new Error(`host exited (${code ?? signal}) before ${pattern}`)));
      });
    },
    /** Sends one command line and resolves the host's answer to it, `answer` a pattern. */
    async command(line, answer, timeoutMs = 10000) {
      const from = output.length;
      child.stdin.write(`${line}\n`);
      return this.waitFor(answer, timeoutMs, from);
    },
    // SIGINT lets JUCE quit through its message loop; SIGTERM would skip the cleanup.
    async stop() {
      if (child.exitCode === null && child.signalCode === null) child.kill('SIGINT');
      const timer = setTimeout(() => child.kill('SIGKILL'), 15000);
      const result = await exited;
      clearTimeout(timer);
      return result;
    },
  };
}
