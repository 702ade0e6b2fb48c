// Opens bench/bridge_page.html in a headless Chromium, then evaluates in it each line read from
// standard input (an expression, awaited) and answers each with one line of JSON: {value} or
// {error}. Ends when its input closes.
//   node bench/bridge_page.mjs URL
import {createRequire} from "node:module";
import readline from "node:readline";

// The browser tests' pinned puppeteer-core; the benchmarks add no package of their own.
const require = createRequire(new URL("../tests/browser/package.json", import.meta.url));
const puppeteer = require("puppeteer-core");

const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
  headless: true,
  // As root Chromium refuses its sandbox; the page is our own.
  args: ["--no-sandbox", "--no-first-run", "--disable-gpu"],
});
try {
  const page = await browser.newPage();
  page.on("console", (message) => process.stderr.write(`console.${message.type()}: ${message.text()}\n`));
  page.on("pageerror", (error) => process.stderr.write(`page error: ${error.message}\n`));
  await page.goto(process.argv[2], {waitUntil: "load", timeout: 30000});
  for await (const line of readline.createInterface({input: process.stdin})) {
    let answer;
    try {
      answer = {value: await page.evaluate(line)};
    } catch (error) {
      answer = {error: error.message};
    }
    process.stdout.write(JSON.stringify(answer) + "\n");
  }
} finally {
  await browser.close();
}
