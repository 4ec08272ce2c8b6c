// Starts `scenarioc lsp` for the scenario sources open in VS Code.
const vscode = require('vscode');
const { LanguageClient } = require('vscode-languageclient/node');

let client;

exports.activate = function () {
  const command =
    vscode.workspace.getConfiguration('scenario').get('scenarioc') || 'scenarioc';
  client = new LanguageClient(
    'scenarioc',
    'scenarioc',
    { command, args: ['lsp'] },
    {
      documentSelector: [{ language: 'scenario-source' }],
      // The sources are written in Windows-1252 (files.encoding above).
      initializationOptions: { encoding: 'windows-1252' },
    });
  return client.start();
};

exports.deactivate = function () {
  return client ? client.stop() : undefined;
};
